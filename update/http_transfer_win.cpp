#include "update/http_transfer_win.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "base/scoped_win.h"
#include "update/download_paths.h"
#include "update/http_response.h"

namespace {

constexpr char kUserAgent[] = "VardenhalUpdater";
// Always from the server, never stored in the cache, over TLS.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
static_assert(kOpenUrlFlags == 0x84800000, "request flags");
constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;

HINTERNET OpenInternet() {
    return InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
}

HINTERNET OpenAddress(HINTERNET internet, const std::string& address) {
    return InternetOpenUrlA(internet, address.c_str(), nullptr, 0, kOpenUrlFlags, 0);
}

DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
        return 0;
    return status;
}

// As text: a number flag would cut lengths of 4 GiB and more.
int64_t QueryContentLength(HINTERNET request) {
    char value[32] = {};
    DWORD length = sizeof(value) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, value, &length, nullptr))
        return -1;
    return ParseContentLength(std::string(value, length));
}

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

// Writes the request's body into `file`; true only when all of it arrived and was written.
bool CopyBodyToFile(HINTERNET request, HANDLE file, int64_t announcedLength) {
    std::vector<char> block(kFileBlockLength);
    uint64_t received = 0;
    bool readFailed = false;
    for (;;) {
        DWORD bytesRead = 0;
        if (!InternetReadFile(request, block.data(), kFileBlockLength, &bytesRead)) {
            readFailed = true;
            break;
        }
        if (bytesRead == 0)
            break;
        DWORD bytesWritten = 0;
        if (!WriteFile(file, block.data(), bytesRead, &bytesWritten, nullptr) || bytesWritten != bytesRead)
            return false;
        received += bytesRead;
    }
    return IsCompleteBody(readFailed, announcedLength, received);
}

}  // namespace

std::string DownloadToString(const std::string& address) {
    ScopedInternetHandle internet(OpenInternet());
    if (!internet.IsValid())
        return std::string();
    ScopedInternetHandle request(OpenAddress(internet.Get(), address));
    if (!request.IsValid() || !IsUsableStatus(QueryStatus(request.Get())))
        return std::string();
    const int64_t announcedLength = QueryContentLength(request.Get());

    std::string body;
    char block[kMemoryBlockLength];
    bool readFailed = false;
    for (;;) {
        DWORD bytesRead = 0;
        if (!InternetReadFile(request.Get(), block, kMemoryBlockLength, &bytesRead)) {
            readFailed = true;
            break;
        }
        if (bytesRead == 0)
            break;
        body.append(block, bytesRead);
    }
    // A shortened manifest would look like a shorter list of files: refuse it whole.
    if (!IsCompleteBody(readFailed, announcedLength, body.size()))
        return std::string();
    return body;
}

bool DownloadToFile(const std::string& address, const std::wstring& localPath) {
    CreateFolders(localPath);

    ScopedInternetHandle internet(OpenInternet());
    if (!internet.IsValid())
        return false;
    ScopedInternetHandle request(OpenAddress(internet.Get(), address));
    if (!request.IsValid() || !IsUsableStatus(QueryStatus(request.Get())))
        return false;
    const int64_t announcedLength = QueryContentLength(request.Get());
    if (!CanReplace(localPath))
        return false;

    const std::wstring temporaryPath = TemporaryDownloadPath(localPath);
    ScopedFile file(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsValid())
        return false;
    const bool complete = CopyBodyToFile(request.Get(), file.Get(), announcedLength);
    const bool closed = file.Close();
    // The old file is replaced only by a whole new one; a cut transfer leaves it as it was.
    if (!complete || !closed || !MoveFileExW(temporaryPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}
