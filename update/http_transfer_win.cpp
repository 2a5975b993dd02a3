#include "update/http_transfer_win.h"

#include <windows.h>
#include <wininet.h>

#include <functional>
#include <vector>

#include "base/scoped_win.h"
#include "update/entry_paths.h"
#include "update/http_response.h"

namespace {

constexpr char kUserAgent[] = "VardenhalUpdater";
// Always from the server, never stored in the cache, over TLS.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
static_assert(kOpenUrlFlags == 0x84800000, "request flags");
constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;

// A request whose answer has arrived; closing the request before the session, as the members end.
struct Response {
    ScopedInternetHandle internet;
    ScopedInternetHandle request;
    int64_t announcedLength = -1;  // Content-Length, -1 when the server sent none
};

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

// One GET of `address` in a session of its own; true when the answer is usable (a 200).
bool OpenResponse(const std::string& address, Response* response) {
    response->internet.Reset(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!response->internet.IsValid())
        return false;
    response->request.Reset(InternetOpenUrlA(response->internet.Get(), address.c_str(), nullptr, 0, kOpenUrlFlags, 0));
    if (!response->request.IsValid() || !IsUsableStatus(QueryStatus(response->request.Get())))
        return false;
    response->announcedLength = QueryContentLength(response->request.Get());
    return true;
}

// Where the body's bytes go: false stops the transfer (a write that failed).
using BodySink = std::function<bool(const char* bytes, DWORD length)>;

// Reads the whole body in blocks of `blockLength` into `sink`; true only when all of it arrived
// and the sink took every block.
bool ReadBody(const Response& response, DWORD blockLength, const BodySink& sink) {
    std::vector<char> block(blockLength);
    uint64_t received = 0;
    bool readFailed = false;
    for (;;) {
        DWORD bytesRead = 0;
        if (!InternetReadFile(response.request.Get(), block.data(), blockLength, &bytesRead)) {
            readFailed = true;
            break;
        }
        if (bytesRead == 0)
            break;
        if (!sink(block.data(), bytesRead))
            return false;
        received += bytesRead;
    }
    return IsCompleteBody(readFailed, response.announcedLength, received);
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

}  // namespace

std::string DownloadToString(const std::string& address) {
    Response response;
    if (!OpenResponse(address, &response))
        return std::string();
    std::string body;
    const bool complete = ReadBody(response, kMemoryBlockLength, [&body](const char* bytes, DWORD length) {
        body.append(bytes, length);
        return true;
    });
    // A shortened manifest would look like a shorter list of files: refuse it whole.
    return complete ? body : std::string();
}

bool DownloadToFile(const std::string& address, const std::wstring& localPath) {
    CreateFolders(localPath);

    Response response;
    if (!OpenResponse(address, &response) || !CanReplace(localPath))
        return false;

    const std::wstring temporaryPath = TemporaryDownloadPath(localPath);
    ScopedFile file(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsValid())
        return false;
    const bool complete = ReadBody(response, kFileBlockLength, [&file](const char* bytes, DWORD length) {
        DWORD written = 0;
        return WriteFile(file.Get(), bytes, length, &written, nullptr) && written == length;
    });
    const bool closed = file.Close();
    // The old file is replaced only by a whole new one; a cut transfer leaves it as it was.
    if (!complete || !closed || !MoveFileExW(temporaryPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}
