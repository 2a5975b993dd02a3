#include "update/transfer_session_win.h"

#include <utility>
#include <vector>

#include "update/http_request_win.h"
#include "update/reading_thread_win.h"

namespace {

constexpr DWORD kPaceCheckIntervalMs = 100;

uint64_t NowMs() {
    return GetTickCount64();
}

RequestShape RequestFor(const TransferAsk& ask) {
    RequestShape shape;
    shape.rangeAsked = ask.range.firstByte > 0 && !ask.range.validator.empty();
    shape.conditional = !ask.unlessStill.empty();
    shape.decode = ask.acceptGzip;
    shape.headers = BuildRequestHeaders(ask.range.firstByte, ask.range.validator, ask.unlessStill, ask.acceptGzip);
    return shape;
}

}  // namespace

struct TransferSessionState {
    SharedInternet internet;
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<Reader> free;  // readers whose last body ended; guarded by `lock`

    // Every transfer has ended by now, so each reader is free and ends as soon as it hears of the
    // closing: the session is gone only once its threads are.
    ~TransferSessionState() {
        for (Reader& reader : free) {
            CloseLine(*reader.line);
            reader.thread.join();
        }
    }
};

namespace {

// A free reader of the session, or a new one; false when no thread could be had.
bool TakeReader(TransferSessionState& session, Reader* reader) {
    AcquireSRWLockExclusive(&session.lock);
    const bool found = !session.free.empty();
    if (found) {
        *reader = std::move(session.free.back());
        session.free.pop_back();
    }
    ReleaseSRWLockExclusive(&session.lock);
    return found || StartReader(session.internet, reader);
}

void GiveBack(TransferSessionState& session, Reader&& reader) {
    AcquireSRWLockExclusive(&session.lock);
    session.free.push_back(std::move(reader));
    ReleaseSRWLockExclusive(&session.lock);
}

}  // namespace

TransferSession OpenTransferSession(const TransferLimits& limits) {
    auto session = std::make_shared<TransferSessionState>();
    session->internet = OpenInternet(limits);
    return session;
}

BodyEnd Transfer(const TransferSession& given,
                 const std::string& address,
                 DWORD blockLength,
                 const TransferLimits& limits,
                 const BodySink& sink,
                 const TransferAsk& ask,
                 const TransferStop& stop,
                 unsigned long* status) {
    if (stop.IsSet())
        return BodyEnd::kCancelled;
    const TransferSession session = given ? given : OpenTransferSession(limits);
    Reader reader;
    if (!TakeReader(*session, &reader))
        return BodyEnd::kFailed;
    auto job = std::make_shared<TransferJob>();
    job->address = address;
    job->blockLength = blockLength;
    job->request = RequestFor(ask);
    job->limits = limits;

    TransferPace pace;
    StartPace(&pace, NowMs());
    BodyEnd end = BodyEnd::kFailed;
    bool heard = false;
    // Unless the body ends, its reader may be stuck in a read for good (or the sink threw): it is
    // left behind, and the session lends the next transfer another.
    struct LeaveBehind {
        TransferSessionState& session;
        Reader& reader;
        bool needed = true;
        ~LeaveBehind() {
            if (!needed) {
                GiveBack(session, std::move(reader));
                return;
            }
            CloseLine(*reader.line);
            // It may never come back from its read: it owns its line, its job and a share of the
            // session's handle, and ends on its own whenever the read returns.
            reader.thread.detach();
        }
    } leave{*session, reader};
    GiveJob(*reader.line, job);
    ReaderLine& line = *reader.line;
    Hold hold(line);
    for (;;) {
        // Looked at before anything else: a body that keeps coming must not hold CANCEL off.
        if (stop.IsSet()) {
            end = BodyEnd::kCancelled;
            break;
        }
        if (HasAnswered(job->state) && !heard) {
            heard = true;
            if (!hold.Unlocked([&] { return sink.onAnswer(job->answer); }))
                break;
            continue;
        }
        if (!job->blocks.empty()) {
            std::vector<char> block = std::move(job->blocks.front());
            job->blocks.pop_front();
            Wake(line);
            const bool taken = hold.Unlocked([&] {
                RecordArrival(&pace, limits, NowMs(), block.size());
                return sink.onBlock(block.data(), static_cast<DWORD>(block.size()));
            });
            if (!taken)
                break;
            continue;
        }
        if (HasEnded(job->state)) {
            end = JudgeBodyEnd(job->state, job->answer.length, pace.received);
            leave.needed = false;
            break;
        }
        if (IsTransferTooSlow(pace, limits, NowMs())) {
            end = BodyEnd::kBroken;
            break;
        }
        hold.Wait(kPaceCheckIntervalMs);
    }
    if (status)
        *status = job->answer.status;
    return end;
}
