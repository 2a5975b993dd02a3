#include "update/local/local_files_win.h"

#include <windows.h>

#include <new>

#include "base/scoped_win.h"
#include "update/local/entry_paths.h"

bool FolderExists(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(LongPathForm(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileLengthAt(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool MakeFolders(const std::wstring& folder) {
    if (FolderExists(folder))
        return true;
    // Every prefix of a path inside the folder, the folder itself last. A prefix that exists, or
    // names a drive, fails and the walk goes on.
    for (const std::wstring& prefix : FolderPrefixesToCreate(folder + L"\\"))
        CreateDirectoryW(prefix.c_str(), nullptr);
    return FolderExists(folder);
}

bool ReadFileUpTo(const std::wstring& path, uint64_t most, std::string* bytes) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > most)
        return false;
    try {
        bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    DWORD read = 0;
    return bytes->empty() || (ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                              read == bytes->size());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes, bool flush) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsValid())
        return false;
    DWORD written = 0;
    const bool ok =
        (bytes.empty() || (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                           written == bytes.size())) &&
        (!flush || FlushFileBuffers(file.Get()));
    return file.Close() && ok;
}

bool WriteBeside(const std::wstring& path, const std::string& bytes) {
    const std::wstring beside = path + kBesideSuffix;
    if (WriteWholeFile(beside, bytes, true))
        return true;
    DeleteFileW(beside.c_str());
    return false;
}

bool RenameBeside(const std::wstring& path) {
    return MoveFileExW((path + kBesideSuffix).c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
