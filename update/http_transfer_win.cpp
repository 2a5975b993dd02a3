#include "update/http_transfer_win.h"

#include <windows.h>

#include <algorithm>

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/digest_text.h"
#include "update/download_end.h"
#include "update/entry_paths.h"
#include "update/file_digest_win.h"
#include "update/held_file_win.h"
#include "update/resume_record.h"

namespace {

constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;

bool IsFolder(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(LongPathForm(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows refuses to replace a read-only file or a folder with a rename; Wine replaces a read-only
// file all the same, so ask first and leave such a target alone everywhere.
bool CanWriteTarget(const std::wstring& localPath) {
    const DWORD attributes = GetFileAttributesW(localPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

void CreateFolders(const std::wstring& localPath) {
    for (const std::wstring& prefix : FolderPrefixesToCreate(localPath))
        CreateDirectoryW(prefix.c_str(), nullptr);
}

// The free space of one folder's volume as last asked, less what was written since, carried from
// one download to the next: a run writes file after file into the same folders, and asking costs
// a tenth of a small file's whole download under Wine. Asked again after kFreeSpaceRecheckBytes,
// so other programs' writes are noticed in time.
struct KnownRoom {
    std::wstring folder;
    uint64_t freeBytes = 0;
    uint64_t trustedBytes = 0;  // what may be written before asking again
};
thread_local KnownRoom knownRoom;

uint64_t QueryFreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

// The free space to judge `needed` more bytes by.
uint64_t FreeBytesFor(const std::wstring& folder, uint64_t needed) {
    KnownRoom& room = knownRoom;
    if (room.folder != folder || needed > room.trustedBytes) {
        room.folder = folder;
        room.freeBytes = QueryFreeBytes(folder);
        room.trustedBytes = kFreeSpaceRecheckBytes;
    }
    return room.freeBytes;
}

void NoteWritten(uint64_t bytes) {
    KnownRoom& room = knownRoom;
    room.freeBytes -= std::min(room.freeBytes, bytes);
    room.trustedBytes -= std::min(room.trustedBytes, bytes);
}

// What keeps a file from being written or replaced, by the error Windows gave.
DownloadOutcome LocalFailure(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return DownloadOutcome::kNoRoom;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return DownloadOutcome::kInUse;
        default:
            return DownloadOutcome::kCannotWrite;
    }
}

// A rename that waits a moment for another program to let go of either file. Windows answers a
// rename over an open file with a sharing violation or with access denied.
DWORD MoveWaitingForHolders(const std::wstring& from, const std::wstring& to, DWORD flags) {
    const DWORD error =
        RetryWhileHeld([&] { return MoveFileExW(from.c_str(), to.c_str(), flags) ? ERROR_SUCCESS : GetLastError(); },
                       [](DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; });
    return error == ERROR_ACCESS_DENIED ? ERROR_SHARING_VIOLATION : error;
}

// Moves the finished download over the target. The running launcher cannot be replaced, but it
// can be renamed within its folder: it moves aside, and the new one takes its name.
DownloadOutcome PutInPlace(const std::wstring& temporaryPath, const std::wstring& localPath) {
    DWORD error = ERROR_SUCCESS;
    if (PathKey(localPath) != PathKey(GetExecutablePath())) {
        error = MoveWaitingForHolders(temporaryPath, localPath, MOVEFILE_REPLACE_EXISTING);
    } else {
        const std::wstring aside = LongPathForm(SupersededLauncherPath(localPath));
        error = MoveWaitingForHolders(localPath, aside, MOVEFILE_REPLACE_EXISTING);
        if (error == ERROR_SUCCESS && !MoveFileExW(temporaryPath.c_str(), localPath.c_str(), 0)) {
            error = GetLastError();
            MoveFileExW(aside.c_str(), localPath.c_str(), 0);
        }
    }
    return error == ERROR_SUCCESS ? DownloadOutcome::kStored : LocalFailure(error);
}

// One MD5 provider for the downloads of a thread: acquiring one costs more than a small file.
HCRYPTPROV DownloadMd5Provider() {
    thread_local ScopedCryptContext provider(AcquireMd5Provider());
    return provider.Get();
}

bool ReadSmallFile(const std::wstring& path, std::string* text) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 4096)
        return false;
    text->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return size.QuadPart == 0 ||
           (ReadFile(file.Get(), &(*text)[0], static_cast<DWORD>(size.QuadPart), &read, nullptr) &&
            read == size.QuadPart);
}

bool WriteSmallFile(const std::wstring& path, const std::string& text) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    const bool ok = file.IsValid() &&
                    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    return file.Close() && ok;
}

uint64_t FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A record that parses, beside a temporary file holding exactly the bytes it names, or some
// bytes when it names none (the launcher was closed while the transfer was under way).
bool ReadResumeRecord(const std::wstring& temporaryPath, const std::wstring& recordPath, ResumeRecord* record) {
    std::string text;
    if (!ReadSmallFile(recordPath, &text) || !ParseResumeRecord(text, record))
        return false;
    const uint64_t length = FileLength(temporaryPath);
    if (record->bytes == 0)
        record->bytes = length;
    return length > 0 && length == record->bytes;
}

// Where a stopped download goes on from. Anything but a sound record starts from nothing (a
// temporary file without one is overwritten).
RangeRequest ReadResumePoint(const std::wstring& temporaryPath, const std::wstring& recordPath) {
    // Nothing kept, as for most files: no record is looked for.
    if (GetFileAttributesW(temporaryPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return RangeRequest();
    ResumeRecord record;
    if (ReadResumeRecord(temporaryPath, recordPath, &record))
        return RangeRequest{record.bytes, record.validator};
    DeleteFileW(recordPath.c_str());
    return RangeRequest();
}

}  // namespace

std::string DownloadToString(const std::string& address,
                             const TransferLimits& limits,
                             const TransferSession& session,
                             const std::atomic<bool>* cancel) {
    std::string body;
    BodySink sink;
    sink.onAnswer = [&](const Answer& answer) {
        const int64_t announcedLength = answer.length;
        if (announcedLength > static_cast<int64_t>(limits.maxManifestBytes))
            return false;
        // Room for all of it at once: a body that grew by doubling would for a moment hold its old
        // and new copy. Pages that no byte reaches take no memory.
        body.reserve(static_cast<size_t>(announcedLength >= 0 ? announcedLength : limits.maxManifestBytes));
        return true;
    };
    sink.onBlock = [&](const char* bytes, DWORD length) {
        return AppendWithinLimit(&body, bytes, length, limits.maxManifestBytes);
    };
    // A shortened manifest would look like a shorter list of files: refuse it whole.
    return Transfer(session, address, kMemoryBlockLength, limits, sink, TransferAsk(), TransferStop{cancel, nullptr}) ==
                   BodyEnd::kWhole
               ? body
               : std::string();
}

ListAnswer DownloadList(const std::string& address,
                        const std::string& unlessStill,
                        const TransferLimits& limits,
                        const TransferSession& session,
                        const std::atomic<bool>* cancel) {
    ListAnswer list;
    BodySink sink;
    sink.onAnswer = [&](const Answer& answer) {
        if (answer.length > static_cast<int64_t>(limits.maxManifestBytes))
            return false;
        list.validator = answer.validator;
        // A compressed list's length is not known before it has come: it grows, within the limit,
        // as it arrives, and no start reserves the limit for a list of a megabyte.
        if (answer.length > 0)
            list.text.reserve(static_cast<size_t>(answer.length));
        return true;
    };
    sink.onBlock = [&](const char* bytes, DWORD length) {
        return AppendWithinLimit(&list.text, bytes, length, limits.maxManifestBytes);
    };
    TransferAsk ask;
    ask.unlessStill = unlessStill;
    ask.acceptGzip = true;
    unsigned long status = 0;
    const BodyEnd end =
        Transfer(session, address, kMemoryBlockLength, limits, sink, ask, TransferStop{cancel, nullptr}, &status);
    list.kind = ClassifyListEnd(end, status);
    if (list.kind != ListAnswer::Kind::kList) {
        list.text = std::string();
        list.validator.clear();
    }
    return list;
}

DownloadOutcome FetchToTemporary(const std::string& address,
                                 const std::wstring& localPath,
                                 const std::string& md5,
                                 const TransferLimits& limits,
                                 const TransferSession& session,
                                 const TransferStop& stop,
                                 FetchProgress* progress) {
    const std::wstring folder = localPath.substr(0, localPath.find_last_of(L"\\/") + 1);
    const std::wstring folderPath = folder.substr(0, folder.size() - 1);
    // Most files go to a folder that is there already: one look costs less than a walk that tries
    // to make every folder of the path. A folder that cannot be made (a file stands in the way)
    // is found here too, before any request.
    if (!IsFolder(folderPath)) {
        CreateFolders(localPath);
        if (!IsFolder(folderPath))
            return DownloadOutcome::kCannotWrite;
    }
    if (!CanWriteTarget(localPath))
        return DownloadOutcome::kCannotWrite;
    // No body could ever match: nothing is fetched.
    if (md5.empty())
        return DownloadOutcome::kFailed;
    const HCRYPTPROV provider = DownloadMd5Provider();
    if (!provider)
        return DownloadOutcome::kFailed;

    // Only the temporary name may pass the length Windows allows: a target that fits without it
    // must not fail for its sake. The target itself keeps its ordinary form, as every run reads it.
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const std::wstring recordPath = LongPathForm(ResumeRecordPath(localPath));
    auto dropPart = [&] {
        DeleteFileW(temporaryPath.c_str());
        DeleteFileW(recordPath.c_str());
    };
    FetchProgress unseen;
    FetchProgress& told = progress ? *progress : unseen;
    RangeRequest resume = ReadResumePoint(temporaryPath, recordPath);
    for (;;) {
        ScopedFile file;
        ScopedCryptHash hash;
        if (!StartMd5(provider, &hash))
            return DownloadOutcome::kFailed;
        FileEndFacts facts;
        int64_t length = -1;
        bool hashed = true;
        bool recordedAhead = false;
        std::string validator;
        BodySink sink;
        // Made (or opened to append) once the answer is known to be usable, so a failed request
        // leaves nothing new behind.
        sink.onAnswer = [&](const Answer& answer) {
            facts.answered = true;
            const RangeAnswer range = JudgeRangeAnswer(resume.firstByte, answer.status, answer.rangeStart);
            if (range == RangeAnswer::kWrongRange) {
                facts.wrongRange = true;
                return false;
            }
            facts.appended = range == RangeAnswer::kRest;
            if (!HasRoomForBody(FreeBytesFor(folder, answer.length < 0 ? 0 : answer.length), answer.length, limits)) {
                facts.localEnd = DownloadOutcome::kNoRoom;
                return false;
            }
            facts.written = facts.appended ? resume.firstByte : 0;
            length = answer.length < 0 ? -1 : answer.length + static_cast<int64_t>(facts.written);
            validator = answer.validator;
            told.length = length;
            told.received = static_cast<int64_t>(facts.written);
            // The part already on disk goes into the digest first, read through the same handle
            // that then appends at its end.
            file.Reset(CreateFileW(temporaryPath.c_str(), facts.appended ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                                   0, nullptr, facts.appended ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
            if (!file.IsValid()) {
                facts.localEnd = LocalFailure(GetLastError());
                return false;
            }
            if (facts.appended && !HashOpenFile(hash.Get(), file.Get())) {
                hashed = false;
                return false;
            }
            // A large file names its version before its bytes come, so that what arrived
            // survives the launcher being closed midway.
            recordedAhead = length >= kRecordedFromBytes && !validator.empty();
            if (recordedAhead)
                WriteSmallFile(recordPath, FormatResumeRecord({validator, 0}));
            else if (resume.firstByte > 0)
                DeleteFileW(recordPath.c_str());
            return true;
        };
        sink.onBlock = [&](const char* bytes, DWORD blockLength) {
            // A body of known length had its room judged whole; one without keeps off the floor.
            if (length < 0 &&
                WritableBytes(FreeBytesFor(folder, blockLength), limits.lengthlessFreeBytes) < blockLength) {
                facts.localEnd = DownloadOutcome::kNoRoom;
                return false;
            }
            DWORD count = 0;
            if (!WriteFile(file.Get(), bytes, blockLength, &count, nullptr) || count != blockLength) {
                facts.localEnd = LocalFailure(GetLastError());
                return false;
            }
            facts.written += count;
            told.received = static_cast<int64_t>(facts.written);
            NoteWritten(count);
            hashed = HashBytes(hash.Get(), bytes, blockLength);
            return hashed;
        };
        TransferAsk ask;
        ask.range = resume;
        facts.end = Transfer(session, address, kFileBlockLength, limits, sink, ask, stop);
        facts.closed = file.Close();
        if (facts.localEnd == DownloadOutcome::kStored && !facts.closed)
            facts.localEnd = LocalFailure(GetLastError());
        facts.lengthKnown = length >= 0;
        facts.digestMatches = hashed && facts.closed && DigestsMatch(FinishMd5(hash.Get()), md5);
        facts.hasValidator = !validator.empty();
        facts.stopRequested = stop.IsSet();
        const FileEnd decided = DecideFileEnd(facts);
        switch (decided.action) {
            case FileEndAction::kKeepFetched:
                // Whole now: no record may make it look like a part to go on from.
                if (resume.firstByte > 0 || recordedAhead)
                    DeleteFileW(recordPath.c_str());
                return decided.outcome;
            case FileEndAction::kFetchWhole:
                dropPart();
                resume = RangeRequest();
                continue;
            case FileEndAction::kKeepAsItWas:
                return decided.outcome;
            case FileEndAction::kKeepPart:
                if (WriteSmallFile(recordPath, FormatResumeRecord({validator, facts.written})))
                    return decided.outcome;
                break;
            case FileEndAction::kDropPart:
                break;
        }
        dropPart();
        return decided.outcome;
    }
}

DownloadOutcome InstallDownload(const std::wstring& localPath) {
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const DownloadOutcome placed = PutInPlace(temporaryPath, localPath);
    if (placed != DownloadOutcome::kStored) {
        DeleteFileW(temporaryPath.c_str());
        DeleteFileW(LongPathForm(ResumeRecordPath(localPath)).c_str());
    }
    return placed;
}

DownloadOutcome DownloadToFile(const std::string& address,
                               const std::wstring& localPath,
                               const std::string& md5,
                               const TransferLimits& limits,
                               const TransferSession& session,
                               const std::atomic<bool>* cancel) {
    const DownloadOutcome fetched =
        FetchToTemporary(address, localPath, md5, limits, session, TransferStop{cancel, nullptr});
    return fetched == DownloadOutcome::kFetched ? InstallDownload(localPath) : fetched;
}

bool CanResumeDownload(const std::wstring& temporaryPath) {
    ResumeRecord record;
    return ReadResumeRecord(LongPathForm(temporaryPath), LongPathForm(ResumeRecordPathOfTemporary(temporaryPath)),
                            &record);
}

void DeleteDownload(const std::wstring& temporaryPath) {
    DeleteFileW(LongPathForm(temporaryPath).c_str());
    DeleteFileW(LongPathForm(ResumeRecordPathOfTemporary(temporaryPath)).c_str());
}
