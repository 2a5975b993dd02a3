#include "update/run/known_digests.h"

#include <algorithm>

#include "update/local/entry_paths.h"

namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

void PrepareKnownDigests(const UpdateOperations& operations,
                         const std::vector<FileListEntry>& entries,
                         const std::vector<std::wstring>& paths,
                         KnownDigests* known) {
    known->kept = operations.readDigestRecord && operations.writeDigestRecord && operations.readFileStates &&
                  operations.nowFileTime;
    if (!known->kept)
        return;
    known->startedAt = operations.nowFileTime();
    DigestRecord record;
    known->fullCheck =
        !operations.readDigestRecord(entries.size(), &record) || IsFullCheckDue(record.lastFullCheck, known->startedAt);
    known->record = std::move(record);
    const std::vector<ListedFile> states = operations.readFileStates(paths);
    for (size_t index = 0; index < paths.size() && index < states.size(); ++index) {
        if (!states[index].found)
            continue;
        const std::wstring key = PathKey(paths[index]);
        known->listed.emplace(key, states[index].state);
        if (known->fullCheck)
            continue;
        const auto recorded = known->record.files.find(entries[index].path);
        if (recorded != known->record.files.end() && TrustsRecordedDigest(recorded->second, states[index].state))
            known->trusted.emplace(key, recorded->second);
    }
}

FileDigest DigestOf(const KnownDigests& known,
                    const UpdateOperations& operations,
                    const std::wstring& localPath,
                    const std::atomic<bool>& stop) {
    if (!known.kept)
        return operations.computeDigest(localPath, stop);
    const auto trusted = known.trusted.find(PathKey(localPath));
    if (trusted != known.trusted.end()) {
        FileDigest digest(trusted->second.md5);
        digest.recorded = true;
        return digest;
    }
    const uint64_t readAt = operations.nowFileTime();
    FileDigest digest = operations.computeDigest(localPath, stop);
    digest.readAt = readAt;
    return digest;
}

void NoteExamined(KnownDigests* known, const std::string& listedPath, const std::wstring& localPath, const FileDigest& local) {
    if (!known->kept)
        return;
    known->examined.insert(listedPath);
    known->learned.erase(listedPath);
    const std::wstring key = PathKey(localPath);
    if (local.recorded) {
        known->learned[listedPath] = known->trusted.at(key);
        return;
    }
    const auto state = known->listed.find(key);
    // A digest cut short, or of a file that was not there when the folder was listed, says
    // nothing the next run could use.
    if (local.digest.empty() || local.inUse || local.readAt == 0 || state == known->listed.end())
        return;
    RecordedDigest recorded;
    recorded.state = state->second;
    recorded.md5 = local.digest;
    recorded.readAt = local.readAt;
    known->learned[listedPath] = recorded;
}

void NoteInstalled(KnownDigests* known,
                   const UpdateOperations& operations,
                   const std::string& listedPath,
                   const std::wstring& localPath,
                   const std::string& md5) {
    if (!known->kept)
        return;
    known->examined.insert(listedPath);
    known->learned.erase(listedPath);
    RecordedDigest recorded;
    if (!operations.readFileState || !operations.readFileState(localPath, &recorded.state))
        return;
    // The bytes were hashed as they arrived, before the rename: the times are read after it.
    recorded.md5 = LowerCase(md5);
    recorded.readAt = operations.nowFileTime();
    known->learned[listedPath] = recorded;
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
    for (const FileListEntry& entry : entries) {
        if (known.examined.count(entry.path))
            continue;
        const auto recorded = known.record.files.find(entry.path);
        if (recorded != known.record.files.end())
            next.files.emplace(entry.path, recorded->second);
    }
    if (!(next == known.record))
        operations.writeDigestRecord(next);
}
