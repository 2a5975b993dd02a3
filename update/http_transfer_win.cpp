#include "update/http_transfer_win.h"

#include <windows.h>

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/entry_paths.h"
#include "update/file_digest_win.h"

namespace {

constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;

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

}  // namespace

std::string DownloadToString(const std::string& address, const TransferLimits& limits, const TransferSession& session) {
    std::string body;
    BodySink sink;
    sink.onAnswer = [&](int64_t announcedLength) {
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
    return Transfer(session, address, kMemoryBlockLength, limits, sink) == BodyEnd::kWhole ? body : std::string();
}

bool DownloadToFile(const std::string& address,
                    const std::wstring& localPath,
                    const std::string& md5,
                    const TransferLimits& limits,
                    const TransferSession& session,
                    DigestRule rule) {
    CreateFolders(localPath);
    if (!CanReplace(localPath))
        return false;

    // Only the temporary name may pass the length Windows allows: a target that fits without it
    // must not fail for its sake. The target itself keeps its ordinary form, as every run reads it.
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const std::wstring folder = localPath.substr(0, localPath.find_last_of(L"\\/") + 1);
    ScopedFile file;
    int64_t length = -1;
    WritableRoom& room = writableRoom;
    if (room.folder != folder) {
        room.folder = folder;
        room.bytes = 0;
    }
    BodySink sink;
    // Made once the answer is known to be usable, so a failed request leaves nothing behind.
    sink.onAnswer = [&](int64_t announcedLength) {
        length = announcedLength;
        file.Reset(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return file.IsValid();
    };
    sink.onBlock = [&](const char* bytes, DWORD blockLength) {
        if (blockLength > room.bytes) {
            room.bytes = WritableBytes(QueryFreeBytes(folder), limits.minimumFreeBytes);
            if (blockLength > room.bytes)
                return false;
        }
        room.bytes -= blockLength;
        DWORD written = 0;
        return WriteFile(file.Get(), bytes, blockLength, &written, nullptr) && written == blockLength;
    };
    const BodyEnd end = Transfer(session, address, kFileBlockLength, limits, sink);
    const bool closed = file.Close();
    // A body without a length can end the same way whether it is whole or cut: only its digest tells.
    const bool arrived = length >= 0 ? end == BodyEnd::kWhole : end != BodyEnd::kFailed;
    const bool digestDecides = length < 0 || rule == DigestRule::kAlways;
    const bool complete =
        arrived && closed && (!digestDecides || (!md5.empty() && ComputeFileMd5(temporaryPath) == md5));
    // The old file is replaced only by a whole new one; a cut transfer leaves it as it was.
    if (!complete || !PutInPlace(temporaryPath, localPath)) {
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}
