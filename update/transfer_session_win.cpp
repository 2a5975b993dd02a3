#include "update/transfer_session_win.h"

#include <wininet.h>

#include <deque>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/scoped_win.h"
#include "update/http_response.h"
#include "update/resume_record.h"

namespace {

constexpr char kUserAgent[] = "VardenhalUpdater";
// Always from the server, never stored in the cache, over TLS; redirects are followed here, so
// that none leads to plain HTTP or round in circles.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Blocks read ahead of the storing side: memory stays bounded when the disk is slower.
constexpr size_t kQueuedBlocks = 4;
constexpr DWORD kPaceCheckIntervalMs = 100;

using SharedInternet = std::shared_ptr<ScopedInternetHandle>;

// One transfer, between the reading thread and the storing side; guarded by its line's lock.
struct TransferJob {
    std::string address;
    std::string headers;  // sent with the request, each line ended by CR LF
    DWORD blockLength = 0;
    TransferLimits limits;
    std::deque<std::vector<char>> blocks;
    bool answered = false;  // a usable answer: the body follows
    bool ended = false;     // the body ended, complete or cut (then `failed` too)
    bool failed = false;
    bool passing = false;    // no usable answer, for a cause that may pass
    bool abandoned = false;  // the storing side gave up on it
    Answer answer;
};

// A reading thread and what it shares with the storing side. Slim locks and condition variables
// wait inside the process under Wine; the standard library's wait through the wineserver.
struct ReaderLine {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::shared_ptr<TransferJob> job;  // the transfer to read, until the reader has ended it
    bool closing = false;              // no more transfers: the thread ends when it is free
};

class Hold {
public:
    explicit Hold(ReaderLine& line) : line_(line) { AcquireSRWLockExclusive(&line_.lock); }
    ~Hold() { ReleaseSRWLockExclusive(&line_.lock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    void Wait(DWORD milliseconds) { SleepConditionVariableSRW(&line_.changed, &line_.lock, milliseconds, 0); }
    // Runs `action` with the lock let go, and takes it again afterwards, also when it throws.
    template <typename Action>
    bool Unlocked(Action action) {
        ReleaseSRWLockExclusive(&line_.lock);
        struct Again {
            SRWLOCK* lock;
            ~Again() { AcquireSRWLockExclusive(lock); }
        } again{&line_.lock};
        return action();
    }

private:
    ReaderLine& line_;
};

void Wake(ReaderLine& line) {
    WakeAllConditionVariable(&line.changed);
}

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

// What the reading thread keeps from one transfer to the next: the connection handle of the last
// host it spoke to.
struct ReaderHandles {
    SharedInternet internet;
    std::string host;
    INTERNET_PORT port = 0;
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
};

// One GET of `address`. The timeouts go on the request itself: Wine keeps none of those set on the
// session.
bool SendRequest(const std::string& address,
                 const std::string& headers,
                 const TransferLimits& limits,
                 ReaderHandles* handles) {
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

    handles->request.Reset();
    if (!handles->connection.IsValid() || host != handles->host || parts.nPort != handles->port) {
        handles->connection.Reset(InternetConnectA(handles->internet->Get(), host.c_str(), parts.nPort, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        handles->host = host;
        handles->port = parts.nPort;
    }
    if (!handles->connection.IsValid())
        return false;
    handles->request.Reset(HttpOpenRequestA(handles->connection.Get(), "GET", object.empty() ? "/" : object.c_str(),
                                            nullptr, nullptr, nullptr, kRequestFlags, 0));
    if (!handles->request.IsValid())
        return false;
    SetTimeouts(handles->request.Get(), limits);
    return HttpSendRequestA(handles->request.Get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0) != FALSE;
}

enum class Opened { kUsable, kRefused, kPassing };

// Requests the job's address, following at most limits.maxRedirects redirects while they stay on
// https://, and fills in the job's answer when it is usable: a 200, or a 206 when a range was
// asked for. No connection and a 5xx are faults that may pass; anything else is a refusal.
Opened OpenResponse(TransferJob& job, ReaderHandles* handles) {
    if (!handles->internet || !handles->internet->IsValid())
        return Opened::kRefused;
    std::string current = job.address;
    for (int redirects = 0;; ++redirects) {
        if (!SendRequest(current, job.headers, job.limits, handles))
            return Opened::kPassing;
        HINTERNET request = handles->request.Get();
        const DWORD status = QueryStatus(request);
        if (!IsRedirectStatus(status)) {
            const bool ranged = status == 206 && !job.headers.empty();
            if (!IsUsableStatus(status) && !ranged)
                return IsPassingStatus(status) || status == 0 ? Opened::kPassing : Opened::kRefused;
            job.answer.status = status;
            job.answer.length = ParseContentLength(QueryText(request, HTTP_QUERY_CONTENT_LENGTH));
            job.answer.rangeStart = ranged ? ParseContentRangeStart(QueryText(request, HTTP_QUERY_CONTENT_RANGE)) : -1;
            job.answer.validator =
                ChooseValidator(QueryText(request, HTTP_QUERY_ETAG), QueryText(request, HTTP_QUERY_LAST_MODIFIED));
            return Opened::kUsable;
        }
        if (redirects == job.limits.maxRedirects)
            return Opened::kRefused;
        current = ResolveRedirect(current, QueryText(request, HTTP_QUERY_LOCATION));
        if (!IsSecureAddress(current))
            return Opened::kRefused;
    }
}

// Reads one job's answer into it block by block, until the body ends or the storing side gives up.
void ReadJob(ReaderLine& line, TransferJob& job, ReaderHandles* handles) {
    // Filled in before the job is shared: the storing side reads the answer only once told.
    const Opened opened = OpenResponse(job, handles);
    const bool usable = opened == Opened::kUsable;
    const int64_t announcedLength = job.answer.length;
    if (!usable)
        handles->request.Reset();
    {
        Hold hold(line);
        job.answered = usable;
        job.failed = !usable;
        job.ended = !usable;
        job.passing = opened == Opened::kPassing;
    }
    // A usable answer is told with its first block: a wake-up less for every file, and under
    // Wine each costs more than a small file's bytes.
    if (!usable)
        Wake(line);
    uint64_t received = 0;
    while (usable) {
        {
            Hold hold(line);
            while (!job.abandoned && job.blocks.size() >= kQueuedBlocks)
                hold.Wait(INFINITE);
            if (job.abandoned)
                return;
        }
        std::vector<char> block(job.blockLength);
        DWORD bytesRead = 0;
        const bool read = InternetReadFile(handles->request.Get(), block.data(), job.blockLength, &bytesRead) != FALSE;
        received += bytesRead;
        // A body with a length ends with its last byte: no read is spent, nor a wake-up, on
        // hearing so.
        const bool ended = !read || bytesRead == 0 || received == static_cast<uint64_t>(announcedLength);
        // Closed before the end is told, so the connection is back in the session's pool when
        // the next transfer asks for one.
        if (ended)
            handles->request.Reset();
        {
            Hold hold(line);
            // Wine ends a body that the server closes over TLS with a failed read that still
            // brings the last bytes; they are kept, for the digest to judge.
            if (bytesRead > 0) {
                block.resize(bytesRead);
                job.blocks.push_back(std::move(block));
            }
            job.ended = ended;
            job.failed = !read;
        }
        Wake(line);
        if (ended)
            return;
    }
}

// The reading thread of a line: one job after another, until the line closes.
void ReadLine(std::shared_ptr<ReaderLine> line, SharedInternet internet) {
    ReaderHandles handles;
    handles.internet = std::move(internet);
    for (;;) {
        std::shared_ptr<TransferJob> job;
        {
            Hold hold(*line);
            while (!line->job && !line->closing)
                hold.Wait(INFINITE);
            if (!line->job)
                return;
            job = line->job;
        }
        ReadJob(*line, *job, &handles);
        handles.request.Reset();
        {
            // The storing side may have handed over its next transfer already.
            Hold hold(*line);
            if (line->job == job)
                line->job.reset();
        }
    }
}

void CloseLine(const std::shared_ptr<ReaderLine>& line) {
    {
        Hold hold(*line);
        line->closing = true;
        if (line->job)
            line->job->abandoned = true;
    }
    Wake(*line);
}

uint64_t NowMs() {
    return GetTickCount64();
}

}  // namespace

struct TransferSessionState {
    SharedInternet internet;
    std::shared_ptr<ReaderLine> line;  // none yet, or none since a transfer was left behind
    std::thread reader;                // the thread of `line`

    // The reading thread is free (its last body ended), so it ends as soon as it hears of the
    // closing, and the session is gone only once its thread is.
    ~TransferSessionState() {
        if (line)
            CloseLine(line);
        if (reader.joinable())
            reader.join();
    }
};

TransferSession OpenTransferSession(const TransferLimits& limits) {
    auto session = std::make_shared<TransferSessionState>();
    session->internet = std::make_shared<ScopedInternetHandle>(
        InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (session->internet->IsValid())
        SetTimeouts(session->internet->Get(), limits);
    return session;
}

BodyEnd Transfer(const TransferSession& given,
                 const std::string& address,
                 DWORD blockLength,
                 const TransferLimits& limits,
                 const BodySink& sink,
                 const RangeRequest* range,
                 const std::atomic<bool>* cancel) {
    if (cancel && cancel->load(std::memory_order_relaxed))
        return BodyEnd::kCancelled;
    const TransferSession session = given ? given : OpenTransferSession(limits);
    if (!session->line) {
        session->line = std::make_shared<ReaderLine>();
        try {
            session->reader = std::thread(ReadLine, session->line, session->internet);
        } catch (const std::system_error&) {
            session->line.reset();
            return BodyEnd::kFailed;
        }
    }
    const std::shared_ptr<ReaderLine> line = session->line;
    auto job = std::make_shared<TransferJob>();
    job->address = address;
    job->blockLength = blockLength;
    if (range && range->firstByte > 0 && !range->validator.empty())
        job->headers =
            "Range: bytes=" + std::to_string(range->firstByte) + "-\r\nIf-Range: " + range->validator + "\r\n";
    job->limits = limits;

    TransferPace pace;
    StartPace(&pace, NowMs());
    BodyEnd end = BodyEnd::kFailed;
    bool heard = false;
    // Unless the body ends, its reader may be stuck in a read for good (or the sink threw): the
    // line goes with it, and the session's next transfer starts a new one.
    struct LeaveBehind {
        TransferSessionState& session;
        std::shared_ptr<ReaderLine> line;
        bool needed = true;
        ~LeaveBehind() {
            if (needed) {
                CloseLine(line);
                session.line.reset();
                // It may never come back from its read: it owns its line, its job and a share of
                // the session's handle, and ends on its own whenever the read returns.
                if (session.reader.joinable())
                    session.reader.detach();
            }
        }
    } leave{*session, line};
    {
        Hold hold(*line);
        line->job = job;
        Wake(*line);
        for (;;) {
            // Looked at before anything else: a body that keeps coming must not hold CANCEL off.
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                end = BodyEnd::kCancelled;
                break;
            }
            if (job->answered && !heard) {
                heard = true;
                if (!hold.Unlocked([&] { return sink.onAnswer(job->answer); }))
                    break;
                continue;
            }
            if (!job->blocks.empty()) {
                std::vector<char> block = std::move(job->blocks.front());
                job->blocks.pop_front();
                Wake(*line);
                const bool taken = hold.Unlocked([&] {
                    RecordArrival(&pace, limits, NowMs(), block.size());
                    return sink.onBlock(block.data(), static_cast<DWORD>(block.size()));
                });
                if (!taken)
                    break;
                continue;
            }
            if (job->ended) {
                const int64_t announcedLength = job->answer.length;
                if (!job->answered)
                    end = job->passing ? BodyEnd::kBroken : BodyEnd::kFailed;
                else if (job->failed && announcedLength < 0)
                    end = BodyEnd::kUnsure;
                else if (IsCompleteBody(job->failed, announcedLength, pace.received))
                    end = BodyEnd::kWhole;
                else
                    end = BodyEnd::kBroken;
                leave.needed = false;
                break;
            }
            if (IsTransferTooSlow(pace, limits, NowMs())) {
                end = BodyEnd::kBroken;
                break;
            }
            hold.Wait(kPaceCheckIntervalMs);
        }
    }
    return end;
}
