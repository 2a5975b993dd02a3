#include "update/run/known_digests.h"

namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

void Learn(KnownDigests* known, const std::string& listedPath, size_t index, const RecordedDigest* recorded) {
    known->examined[index] = true;
    if (recorded)
        known->learned[listedPath] = *recorded;
    else
        known->learned.erase(listedPath);
}

}  // namespace

void PrepareKnownDigests(const UpdateOperations& operations,
                         const std::vector<FileListEntry>& entries,
                         const std::vector<std::wstring>& paths,
                         KnownDigests* known) {
    known->kept = operations.readDigestRecord && operations.writeDigestRecord && operations.readFileStates &&
                  operations.nowFileTime;
    known->readPosition.resize(paths.size());
    for (size_t index = 0; index < paths.size(); ++index)
        known->readPosition[index] = index;
    if (!known->kept)
        return;
    known->startedAt = operations.nowFileTime();
    DigestRecord record;
    known->fullCheck =
        !operations.readDigestRecord(entries.size(), &record) || IsFullCheckDue(record.lastFullCheck, known->startedAt);
    known->record = std::move(record);
    known->listed = operations.readFileStates(paths);
    known->listed.resize(paths.size());
    known->trusted.assign(paths.size(), nullptr);
    known->examined.assign(paths.size(), false);
    for (size_t index = 0; index < paths.size() && !known->fullCheck; ++index) {
        const auto recorded = known->record.files.find(entries[index].path);
        if (known->listed[index].found && recorded != known->record.files.end() &&
            TrustsRecordedDigest(recorded->second, known->listed[index].state))
            known->trusted[index] = &recorded->second;
    }
    // A file the listing shows absent is looked for once more when its turn comes, on the run's
    // thread: the threads ahead would only wait to fail to open it.
    size_t position = 0;
    for (size_t index = 0; index < paths.size(); ++index) {
        known->readPosition[index] =
            known->trusted[index] || known->listed[index].absent ? kNotRead : position++;
    }
}

std::vector<std::wstring> PathsToRead(const KnownDigests& known, const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> toRead;
    for (size_t index = 0; index < paths.size(); ++index) {
        if (IsReadAhead(known, index))
            toRead.push_back(paths[index]);
    }
    return toRead;
}

FileDigest RecordedDigestOf(const KnownDigests& known, size_t index) {
    FileDigest digest(known.trusted[index]->md5);
    digest.recorded = true;
    return digest;
}

FileDigest ReadDigest(const UpdateOperations& operations, const std::wstring& localPath, const std::atomic<bool>& stop) {
    const uint64_t readAt = operations.nowFileTime ? operations.nowFileTime() : 0;
    FileDigest digest = operations.computeDigest(localPath, stop);
    digest.readAt = readAt;
    return digest;
}

void NoteExamined(KnownDigests* known, const std::vector<FileListEntry>& entries, size_t index, const FileDigest& local) {
    if (!known->kept)
        return;
    if (local.recorded)
        return Learn(known, entries[index].path, index, known->trusted[index]);
    // A digest cut short, or of a file the listing did not show, says nothing the next run could use.
    if (local.digest.empty() || local.inUse || local.readAt == 0 || !known->listed[index].found)
        return Learn(known, entries[index].path, index, nullptr);
    RecordedDigest recorded;
    recorded.state = known->listed[index].state;
    recorded.md5 = local.digest;
    recorded.readAt = local.readAt;
    Learn(known, entries[index].path, index, &recorded);
}

void NoteInstalled(KnownDigests* known,
                   const UpdateOperations& operations,
                   const std::vector<FileListEntry>& entries,
                   size_t index,
                   const std::wstring& localPath) {
    if (!known->kept)
        return;
    RecordedDigest recorded;
    const bool stated = operations.readFileState && operations.readFileState(localPath, &recorded.state);
    // The bytes were hashed as they arrived, before the rename: the times are read after it.
    recorded.md5 = LowerCase(entries[index].md5);
    recorded.readAt = operations.nowFileTime();
    Learn(known, entries[index].path, index, stated ? &recorded : nullptr);
}

void KeepKnownDigests(const KnownDigests& known,
                      const UpdateOperations& operations,
                      const std::vector<FileListEntry>& entries,
                      bool complete) {
    if (!known.kept)
        return;
    DigestRecord next;
    next.lastFullCheck = known.fullCheck && complete ? known.startedAt : known.record.lastFullCheck;
    next.files = known.learned;
    for (size_t index = 0; index < entries.size(); ++index) {
        if (index < known.examined.size() && known.examined[index])
            continue;
        const auto recorded = known.record.files.find(entries[index].path);
        if (recorded != known.record.files.end())
            next.files.emplace(entries[index].path, recorded->second);
    }
    if (!(next == known.record))
        operations.writeDigestRecord(next);
}
