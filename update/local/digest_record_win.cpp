#include "update/local/digest_record_win.h"

#include <windows.h>

#include <algorithm>
#include <unordered_map>

#include "base/scoped_win.h"
#include "update/local/entry_paths.h"
#include "update/local/local_files_win.h"

namespace {

uint64_t FromFileTime(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsPlainFile(DWORD attributes) {
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

std::wstring RecordPath(const std::wstring& folder) {
    return folder + L"\\" + kDigestRecordFileName;
}

// A large fetch asks the file system for many names per call; systems before it refuse the flag.
HANDLE StartListing(const std::wstring& folder, WIN32_FIND_DATAW* data) {
    const std::wstring pattern = LongPathForm(folder + L"\\*");
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, data, FindExSearchNameMatch, nullptr, 0);
    return search;
}

}  // namespace

bool ReadDigestRecord(const std::wstring& folder, size_t listedEntries, DigestRecord* record) {
    std::string text;
    return !folder.empty() &&
           ReadFileUpTo(RecordPath(folder), kMostRecordBytesPerEntry * std::max<size_t>(listedEntries, 1), &text) &&
           ParseDigestRecord(text, listedEntries, record);
}

bool WriteDigestRecord(const std::wstring& folder, const DigestRecord& record) {
    const std::wstring path = RecordPath(folder);
    if (!folder.empty() && MakeFolders(folder) && WriteBeside(path, FormatDigestRecord(record)) && RenameBeside(path))
        return true;
    DeleteFileW((path + kBesideSuffix).c_str());
    return false;
}

std::vector<ListedFile> ListFileStates(const std::vector<std::wstring>& paths) {
    std::vector<ListedFile> listed(paths.size());
    std::vector<bool> named(paths.size());  // the name is in its folder's listing, as anything
    // By folder key: the folder as first written, and the paths' indices by the keys of their names.
    struct Folder {
        std::wstring path;
        std::unordered_multimap<std::wstring, size_t> names;
    };
    std::unordered_map<std::wstring, Folder> folders;
    for (size_t index = 0; index < paths.size(); ++index) {
        const size_t separator = paths[index].rfind(L'\\');
        if (separator == std::wstring::npos)
            continue;
        const std::wstring folder = paths[index].substr(0, separator);
        Folder& entry = folders[PathKey(folder)];
        if (entry.path.empty())
            entry.path = folder;
        entry.names.emplace(PathKey(paths[index].substr(separator + 1)), index);
    }
    for (const auto& folder : folders) {
        const auto& names = folder.second.names;
        WIN32_FIND_DATAW data;
        const ScopedFindHandle search(StartListing(folder.second.path, &data));
        if (!search.IsValid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                for (const auto& name : names)
                    listed[name.second].absent = true;
            }
            continue;
        }
        do {
            const auto found = names.equal_range(PathKey(data.cFileName));
            for (auto name = found.first; name != found.second; ++name) {
                ListedFile& file = listed[name->second];
                named[name->second] = true;
                file.found = IsPlainFile(data.dwFileAttributes);
                file.state.length = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                file.state.lastWrite = FromFileTime(data.ftLastWriteTime);
                file.state.creation = FromFileTime(data.ftCreationTime);
            }
        } while (FindNextFileW(search.Get(), &data));
        // A listing cut short by an error says nothing of the names it did not reach.
        if (GetLastError() != ERROR_NO_MORE_FILES)
            continue;
        for (const auto& name : names)
            listed[name.second].absent = !named[name.second];
    }
    return listed;
}

bool ReadFileState(const std::wstring& path, FileState* state) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data) ||
        !IsPlainFile(data.dwFileAttributes))
        return false;
    state->length = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state->lastWrite = FromFileTime(data.ftLastWriteTime);
    state->creation = FromFileTime(data.ftCreationTime);
    return true;
}

uint64_t FileTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FromFileTime(now);
}
