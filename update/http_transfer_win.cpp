#include "update/http_transfer_win.h"

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/entry_paths.h"
#include "update/file_digest_win.h"
#include "update/http_response.h"

namespace {

constexpr char kUserAgent[] = "VardenhalUpdater";
// Always from the server, never stored in the cache, over TLS; redirects are followed here, so
// that none leads to plain HTTP or round in circles.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD kMemoryBlockLength = 8192;
constexpr DWORD kFileBlockLength = 65536;
// Blocks read ahead of the writing side: memory stays bounded when the disk is slower.
constexpr size_t kQueuedBlocks = 4;
constexpr std::chrono::milliseconds kPaceCheckInterval(100);

// A request whose answer has arrived; the members close in reverse: request, connection, and
// the session when this was its last user.
struct Response {
    TransferSession session;
    ScopedInternetHandle connection;
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

std::string QueryText(HINTERNET request, DWORD what) {
    DWORD length = 0;
    HttpQueryInfoA(request, what, nullptr, &length, nullptr);
    if (length == 0)
        return std::string();
    std::string value(length, '\0');
    if (!HttpQueryInfoA(request, what, &value[0], &length, nullptr))
        return std::string();
    value.resize(length);
    return value;
}

void SetTimeouts(HINTERNET handle, const TransferLimits& limits) {
    DWORD timeout = limits.timeoutMs;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(handle, option, &timeout, sizeof(timeout));
}

// One GET of `address` on the response's session. The timeouts go on the request itself: Wine
// keeps none of those set on the session.
bool SendRequest(const std::string& address, const TransferLimits& limits, Response* response) {
    std::string host(INTERNET_MAX_HOST_NAME_LENGTH + 1, '\0');
    std::string path(address.size() + 1, '\0');
    std::string extra(address.size() + 1, '\0');
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = &host[0];
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = &path[0];
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = &extra[0];
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(address.c_str(), 0, 0, &parts))
        return false;
    host.resize(parts.dwHostNameLength);
    const std::string object = path.substr(0, parts.dwUrlPathLength) + extra.substr(0, parts.dwExtraInfoLength);

    response->request.Reset();
    response->connection.Reset(InternetConnectA(response->session->Get(), host.c_str(), parts.nPort, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
    if (!response->connection.IsValid())
        return false;
    response->request.Reset(HttpOpenRequestA(response->connection.Get(), "GET", object.empty() ? "/" : object.c_str(),
                                             nullptr, nullptr, nullptr, kRequestFlags, 0));
    if (!response->request.IsValid())
        return false;
    SetTimeouts(response->request.Get(), limits);
    return HttpSendRequestA(response->request.Get(), nullptr, 0, nullptr, 0) != FALSE;
}

// Requests `address` on the response's session, following at most limits.maxRedirects
// redirects while they stay on https://; true when the answer is usable (a 200).
bool OpenResponse(const std::string& address, const TransferLimits& limits, Response* response) {
    if (!response->session || !response->session->IsValid())
        return false;
    std::string current = address;
    for (int redirects = 0;; ++redirects) {
        if (!SendRequest(current, limits, response))
            return false;
        const DWORD status = QueryStatus(response->request.Get());
        if (!IsRedirectStatus(status)) {
            if (!IsUsableStatus(status))
                return false;
            response->announcedLength =
                ParseContentLength(QueryText(response->request.Get(), HTTP_QUERY_CONTENT_LENGTH));
            return true;
        }
        if (redirects == limits.maxRedirects)
            return false;
        current = ResolveRedirect(current, QueryText(response->request.Get(), HTTP_QUERY_LOCATION));
        if (!IsSecureAddress(current))
            return false;
    }
}

// Between the thread that talks to the server and the one that stores what arrives. Wine's
// blocking reads wait until a whole block has come, however slowly it trickles in, and nothing
// ends such a read from outside; so the reading happens on a thread of its own that the storing
// side can leave behind when the transfer has become too slow.
struct TransferChannel {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<char>> blocks;
    bool answered = false;  // a usable answer: the body follows
    bool ended = false;     // the body ended, complete or cut (then `failed` too)
    bool failed = false;
    bool abandoned = false;  // the storing side gave up: the reader stops at its next chance
    int64_t announcedLength = -1;
};

// The reading thread: opens the response, then reads blocks into the channel until the body
// ends or the storing side gives up. It owns every WinInet handle of the transfer.
void ReadResponse(std::shared_ptr<TransferChannel> channel,
                  TransferSession session,
                  std::string address,
                  DWORD blockLength,
                  TransferLimits limits) {
    Response response;
    response.session = std::move(session);
    const bool usable = OpenResponse(address, limits, &response);
    {
        std::lock_guard<std::mutex> hold(channel->lock);
        channel->answered = usable;
        channel->failed = !usable;
        channel->ended = !usable;
        channel->announcedLength = response.announcedLength;
    }
    channel->changed.notify_all();
    while (usable) {
        {
            std::unique_lock<std::mutex> hold(channel->lock);
            channel->changed.wait(hold, [&] { return channel->abandoned || channel->blocks.size() < kQueuedBlocks; });
            if (channel->abandoned)
                return;
        }
        std::vector<char> block(blockLength);
        DWORD bytesRead = 0;
        const bool read = InternetReadFile(response.request.Get(), block.data(), blockLength, &bytesRead) != FALSE;
        {
            std::lock_guard<std::mutex> hold(channel->lock);
            // Wine ends a body that the server closes over TLS with a failed read that still
            // brings the last bytes; they are kept, for the digest to judge.
            if (bytesRead > 0) {
                block.resize(bytesRead);
                channel->blocks.push_back(std::move(block));
            }
            if (!read || bytesRead == 0) {
                channel->ended = true;
                channel->failed = !read;
            }
        }
        channel->changed.notify_all();
        if (!read || bytesRead == 0)
            return;
    }
}

uint64_t NowMs() {
    return GetTickCount64();
}

// Where the answer goes: `onAnswer` hears the body's Content-Length (-1 when it has none) before
// any of the body, `onBlock` each block of it. Either stops the transfer by returning false.
struct BodySink {
    std::function<bool(int64_t announcedLength)> onAnswer;
    std::function<bool(const char* bytes, DWORD length)> onBlock;
};

enum class BodyEnd {
    kFailed,
    kWhole,   // all of the body arrived: its announced length, or the end a body without one has
    kUnsure,  // a body without a length ended with a failed read: whole or cut, only a digest tells
};

// Fetches `address` and hands its answer to `sink`, as long as the answer is a 200, the body
// arrives at a pace within the limits and the sink takes it.
BodyEnd Transfer(const TransferSession& session,
                 const std::string& address,
                 DWORD blockLength,
                 const TransferLimits& limits,
                 const BodySink& sink) {
    auto channel = std::make_shared<TransferChannel>();
    try {
        // The reader shares the session: a reader left behind keeps it open until it is done.
        std::thread(ReadResponse, channel, session ? session : OpenTransferSession(limits), address, blockLength,
                    limits)
            .detach();
    } catch (const std::system_error&) {
        return BodyEnd::kFailed;
    }
    TransferPace pace;
    StartPace(&pace, NowMs());
    BodyEnd end = BodyEnd::kFailed;
    bool heard = false;
    std::unique_lock<std::mutex> hold(channel->lock);
    for (;;) {
        if (channel->answered && !heard) {
            heard = true;
            const int64_t announcedLength = channel->announcedLength;
            hold.unlock();
            const bool taken = sink.onAnswer(announcedLength);
            hold.lock();
            if (!taken)
                break;
            continue;
        }
        if (!channel->blocks.empty()) {
            std::vector<char> block = std::move(channel->blocks.front());
            channel->blocks.pop_front();
            hold.unlock();
            channel->changed.notify_all();
            RecordArrival(&pace, limits, NowMs(), block.size());
            const bool taken = sink.onBlock(block.data(), static_cast<DWORD>(block.size()));
            hold.lock();
            if (!taken)
                break;
            continue;
        }
        if (channel->ended) {
            if (channel->failed && channel->announcedLength < 0)
                end = BodyEnd::kUnsure;
            else if (IsCompleteBody(channel->failed, channel->announcedLength, pace.received))
                end = BodyEnd::kWhole;
            break;
        }
        if (IsTransferTooSlow(pace, limits, NowMs()))
            break;
        channel->changed.wait_for(hold, kPaceCheckInterval);
    }
    channel->abandoned = true;
    channel->blocks.clear();
    hold.unlock();
    channel->changed.notify_all();
    return end;
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

TransferSession OpenTransferSession(const TransferLimits& limits) {
    auto session = std::make_shared<ScopedInternetHandle>(
        InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (session->IsValid())
        SetTimeouts(session->Get(), limits);
    return session;
}

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
                    const TransferSession& session) {
    CreateFolders(localPath);
    if (!CanReplace(localPath))
        return false;

    // Only the temporary name may pass the length Windows allows: a target that fits without it
    // must not fail for its sake. The target itself keeps its ordinary form, as every run reads it.
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const std::wstring folder = localPath.substr(0, localPath.find_last_of(L"\\/") + 1);
    ScopedFile file;
    int64_t length = -1;
    uint64_t writable = 0;
    BodySink sink;
    // Made once the answer is known to be usable, so a failed request leaves nothing behind.
    sink.onAnswer = [&](int64_t announcedLength) {
        length = announcedLength;
        file.Reset(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return file.IsValid();
    };
    sink.onBlock = [&](const char* bytes, DWORD blockLength) {
        if (blockLength > writable) {
            writable = WritableBytes(QueryFreeBytes(folder), limits.minimumFreeBytes);
            if (blockLength > writable)
                return false;
        }
        writable -= blockLength;
        DWORD written = 0;
        return WriteFile(file.Get(), bytes, blockLength, &written, nullptr) && written == blockLength;
    };
    const BodyEnd end = Transfer(session, address, kFileBlockLength, limits, sink);
    const bool closed = file.Close();
    // A body without a length can end the same way whether it is whole or cut: only its digest tells.
    bool complete = end == BodyEnd::kWhole && length >= 0;
    if (end != BodyEnd::kFailed && length < 0)
        complete = !md5.empty() && ComputeFileMd5(temporaryPath) == md5;
    // The old file is replaced only by a whole new one; a cut transfer leaves it as it was.
    if (!complete || !closed || !PutInPlace(temporaryPath, localPath)) {
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}
