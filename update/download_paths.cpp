#include "update/download_paths.h"

namespace {
bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}
}  // namespace

std::vector<std::wstring> FolderPrefixesToCreate(const std::wstring& localPath) {
    std::vector<std::wstring> folders;
    const size_t last = localPath.find_last_of(L"\\/");
    if (last == std::wstring::npos || last == 0)
        return folders;
    const std::wstring folderPart = localPath.substr(0, last);
    for (size_t i = 0; i < folderPart.size(); ++i) {
        if (IsSeparator(folderPart[i]) && i > 0)
            folders.push_back(folderPart.substr(0, i));
    }
    folders.push_back(folderPart);
    return folders;
}

std::wstring TemporaryDownloadPath(const std::wstring& target) {
    // U+2193 DOWNWARDS ARROW: outside both ranges a manifest path can produce.
    return target + L".vhl\u2193part";
}
