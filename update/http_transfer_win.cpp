#include "update/http_transfer_win.h"

#include <windows.h>

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/entry_paths.h"
#include "update/file_digest_win.h"
#include "update/resume_record.h"

namespace {

constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;
// From this length on, a download's record is written before its body: fetching less again costs
// less than the record.
constexpr int64_t kRecordedFromBytes = 4 << 20;

// Windows refuses to replace a read-only file or a folder with a rename; Wine replaces a read-only
// file all the same, so ask first and leave such a target alone everywhere.
bool CanReplace(const std::wstring& localPath) {
    const DWORD attributes = GetFileAttributesW(localPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

void CreateFolders(const std::wstring& localPath) {
    for (const std::wstring& folder : FolderPrefixesToCreate(localPath))
        CreateDirectoryW(folder.c_str(), nullptr);
}

// What may still be written into one folder before its volume's free space is asked again,
// carried from one download to the next: a run writes file after file into the same folders,
// and asking costs a tenth of a small file's whole download under Wine.
struct WritableRoom {
    std::wstring folder;
    uint64_t bytes = 0;
};
thread_local WritableRoom writableRoom;

uint64_t QueryFreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

// Moves the finished download over the target. The running launcher cannot be replaced, but it
// can be renamed within its folder: it moves aside, and the new one takes its name.
bool PutInPlace(const std::wstring& temporaryPath, const std::wstring& localPath) {
    const wchar_t* target = localPath.c_str();
    if (PathKey(localPath) != PathKey(GetExecutablePath()))
        return MoveFileExW(temporaryPath.c_str(), target, MOVEFILE_REPLACE_EXISTING) != FALSE;
    const std::wstring aside = LongPathForm(SupersededLauncherPath(localPath));
    if (!MoveFileExW(target, aside.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    if (MoveFileExW(temporaryPath.c_str(), target, 0))
        return true;
    MoveFileExW(aside.c_str(), target, 0);
    return false;
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
    return Transfer(session, address, kMemoryBlockLength, limits, sink, nullptr, cancel) == BodyEnd::kWhole
               ? body
               : std::string();
}

bool DownloadToFile(const std::string& address,
                    const std::wstring& localPath,
                    const std::string& md5,
                    const TransferLimits& limits,
                    const TransferSession& session,
                    DigestRule rule,
                    bool* worthRetrying) {
    bool passing = false;
    if (!worthRetrying)
        worthRetrying = &passing;
    *worthRetrying = false;
    CreateFolders(localPath);
    if (!CanReplace(localPath))
        return false;

    // Only the temporary name may pass the length Windows allows: a target that fits without it
    // must not fail for its sake. The target itself keeps its ordinary form, as every run reads it.
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const std::wstring recordPath = LongPathForm(ResumeRecordPath(localPath));
    const std::wstring folder = localPath.substr(0, localPath.find_last_of(L"\\/") + 1);
    WritableRoom& room = writableRoom;
    if (room.folder != folder) {
        room.folder = folder;
        room.bytes = 0;
    }
    RangeRequest resume = ReadResumePoint(temporaryPath, recordPath);
    for (;;) {
        ScopedFile file;
        int64_t length = -1;
        uint64_t written = 0;
        bool appended = false;
        bool recordedAhead = false;
        std::string validator;
        BodySink sink;
        // Made (or opened to append) once the answer is known to be usable, so a failed request
        // leaves nothing new behind.
        sink.onAnswer = [&](const Answer& answer) {
            appended = resume.firstByte > 0 && answer.status == 206;
            // A range other than the one asked for would splice the file wrongly.
            if (appended && answer.rangeStart != static_cast<int64_t>(resume.firstByte))
                return false;
            written = appended ? resume.firstByte : 0;
            length = answer.length < 0 ? -1 : answer.length + static_cast<int64_t>(written);
            validator = answer.validator;
            file.Reset(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                   appended ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
            const LARGE_INTEGER none = {};
            if (!file.IsValid() || (appended && !SetFilePointerEx(file.Get(), none, nullptr, FILE_END)))
                return false;
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
            if (blockLength > room.bytes) {
                room.bytes = WritableBytes(QueryFreeBytes(folder), limits.minimumFreeBytes);
                if (blockLength > room.bytes)
                    return false;
            }
            room.bytes -= blockLength;
            DWORD count = 0;
            const bool ok = WriteFile(file.Get(), bytes, blockLength, &count, nullptr) && count == blockLength;
            written += count;
            return ok;
        };
        const BodyEnd end = Transfer(session, address, kFileBlockLength, limits, sink, &resume);
        const bool closed = file.Close();
        // A body without a length can end the same way whether it is whole or cut: only its digest
        // tells. A resumed file joins two transfers, which may have sent two versions: only its
        // digest tells too.
        const bool arrived = length >= 0 ? end == BodyEnd::kWhole : end == BodyEnd::kWhole || end == BodyEnd::kUnsure;
        const bool digestDecides = appended || length < 0 || rule == DigestRule::kAlways;
        const bool complete =
            arrived && closed && (!digestDecides || (!md5.empty() && ComputeFileMd5(temporaryPath) == md5));
        if (complete && PutInPlace(temporaryPath, localPath)) {
            if (resume.firstByte > 0 || recordedAhead)
                DeleteFileW(recordPath.c_str());
            return true;
        }
        if (arrived && closed && appended && !complete) {
            // Fetched whole once more, at once.
            DeleteFileW(temporaryPath.c_str());
            DeleteFileW(recordPath.c_str());
            resume = RangeRequest();
            continue;
        }
        // A file cut by a passing fault keeps what arrived, with a record of the version it is.
        *worthRetrying = end == BodyEnd::kBroken || (end == BodyEnd::kUnsure && !complete);
        if (end == BodyEnd::kBroken && closed && length >= 0 && written > 0 && !validator.empty() &&
            WriteSmallFile(recordPath, FormatResumeRecord({validator, written})))
            return false;
        // The old file is replaced only by a whole new one; a failed transfer leaves it as it was.
        DeleteFileW(temporaryPath.c_str());
        DeleteFileW(recordPath.c_str());
        return false;
    }
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
