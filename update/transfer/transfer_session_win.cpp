#include "update/transfer/transfer_session_win.h"

#include <utility>
#include <vector>

#include "update/transfer/http_request_win.h"
#include "update/transfer/reading_thread_win.h"
#include "update/transfer/transfer_step.h"

namespace {

constexpr DWORD kPaceCheckIntervalMs = 100;
// How long a closing session waits for its readers to end.
constexpr DWORD kReadersEndMs = 500;

uint64_t NowMs() {
    return GetTickCount64();
}

PreparedRequest RequestFor(const RequestOptions& ask) {
    PreparedRequest shape;
    shape.rangeAsked = (ask.range.firstByte > 0 && !ask.range.validator.empty()) || ask.spanCount > 0;
    shape.conditional = !ask.unlessStill.empty();
    shape.decode = ask.acceptGzip;
    shape.headers = BuildRequestHeaders(ask.range.firstByte, ask.range.validator, ask.unlessStill, ask.acceptGzip);
    if (ask.spanCount > 0)
        shape.headers += BuildSpanHeader(ask.spanFirst, ask.spanCount);
    return shape;
}

}  // namespace

struct TransferSessionState {
    SharedInternet internet;
    std::shared_ptr<ArrivalSignal> news = std::make_shared<ArrivalSignal>();
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<Reader> free;        // readers whose last body ended; guarded by `lock`
    std::vector<Reader> leftBehind;  // readers of transfers given up before their end; the same

    // Every transfer has ended by now: the free readers end as soon as they hear of the closing,
    // those given up at their next bytes. Those that end within kReadersEndMs are joined; any
    // other (under Wine, one waiting for headers or for bytes that do not come) ends on its own.
    ~TransferSessionState() {
        std::vector<Reader> readers = std::move(free);
        for (Reader& reader : leftBehind)
            readers.push_back(std::move(reader));
        EndReaders(&readers, kReadersEndMs);
    }
};

namespace {

// A free reader of the session, or a new one; false when no thread could be had.
bool TakeReader(TransferSessionState& session, Reader* reader) {
    {
        const ScopedSrwLock hold(&session.lock);
        if (!session.free.empty()) {
            *reader = std::move(session.free.back());
            session.free.pop_back();
            return true;
        }
    }
    return StartReader(session.internet, session.news, reader);
}

void GiveBack(TransferSessionState& session, Reader&& reader) {
    const ScopedSrwLock hold(&session.lock);
    session.free.push_back(std::move(reader));
}

}  // namespace

TransferSession OpenTransferSession(const TransferLimits& limits) {
    auto session = std::make_shared<TransferSessionState>();
    session->internet = OpenInternet(limits);
    return session;
}

namespace {

void LeaveReaderBehind(TransferRun* run) {
    run->running = false;
    // It ends at its next look, and the session joins it when it closes.
    CloseMailbox(*run->reader.line);
    TransferSessionState& session = *run->session;
    const ScopedSrwLock hold(&session.lock);
    session.leftBehind.push_back(std::move(run->reader));
}

}  // namespace

TransferRun::~TransferRun() {
    if (running)
        LeaveReaderBehind(this);
}

bool StartTransfer(TransferRun* run,
                   const TransferSession& given,
                   const TransferOrder& order,
                   const BodySink& sink,
                   BodyEnd* end) {
    *end = BodyEnd::kCancelled;
    if (order.stop.IsSet())
        return false;
    run->session = given ? given : OpenTransferSession(order.limits);
    *end = BodyEnd::kFailed;
    if (!TakeReader(*run->session, &run->reader))
        return false;
    run->job = std::make_shared<TransferJob>();
    run->job->address = order.address;
    run->job->blockLength = order.blockLength;
    run->job->request = RequestFor(order.options);
    run->job->limits = order.limits;
    run->limits = order.limits;
    run->stop = order.stop;
    run->sink = &sink;
    run->heard = false;
    StartPace(&run->pace, NowMs());
    run->running = true;
    GiveJob(*run->reader.line, run->job);
    return true;
}

bool StepTransfer(TransferRun* run, BodyEnd* end, unsigned long* status) {
    TransferJob& job = *run->job;
    ReaderMailbox& line = *run->reader.line;
    bool ended = true;
    bool whole = false;  // the body ended: the reader is free for the session's next transfer
    {
        ScopedSrwLock hold(&line.lock);
        for (;;) {
            TransferPicture picture;
            picture.stopped = run->stop.IsSet();
            picture.answerNew = HasAnswered(job.state) && !run->heard;
            picture.blockQueued = !job.blocks.empty();
            picture.bodyEnded = HasEnded(job.state);
            picture.tooSlow = IsTransferTooSlow(run->pace, run->limits, NowMs());
            const TransferStep step = NextTransferStep(picture);
            if (step == TransferStep::kHandAnswer) {
                run->heard = true;
                if (!hold.Unlocked([&] { return run->sink->onAnswer(job.answer); })) {
                    *end = BodyEnd::kFailed;
                    break;
                }
                continue;
            }
            if (step == TransferStep::kHandBlock) {
                std::vector<char> block = std::move(job.blocks.front());
                job.blocks.pop_front();
                WakeReader(line);
                const bool taken = hold.Unlocked([&] {
                    RecordArrival(&run->pace, run->limits, NowMs(), block.size());
                    return run->sink->onBlock(block.data(), static_cast<DWORD>(block.size()));
                });
                if (!taken) {
                    *end = BodyEnd::kFailed;
                    break;
                }
                continue;
            }
            if (step == TransferStep::kCancel) {
                *end = BodyEnd::kCancelled;
            } else if (step == TransferStep::kJudgeEnd) {
                *end = JudgeBodyEnd(job.state, job.answer.length, run->pace.received);
                whole = true;
            } else if (step == TransferStep::kTooSlow) {
                *end = BodyEnd::kBroken;
            } else {
                ended = false;
            }
            break;
        }
        if (ended && status)
            *status = job.answer.status;
    }
    if (!ended)
        return false;
    // Unless the body ended, its reader may wait for bytes for a while yet (or the sink gave up):
    // the session keeps it until it ends, and lends the next transfer another.
    if (whole) {
        run->running = false;
        GiveBack(*run->session, std::move(run->reader));
    } else {
        LeaveReaderBehind(run);
    }
    return true;
}

void WaitForTransfers(const TransferSession& session, uint64_t* seen, DWORD milliseconds) {
    WaitForNews(*session->news, seen, milliseconds);
}

BodyEnd Transfer(const TransferSession& given,
                 const TransferOrder& order,
                 const BodySink& sink,
                 unsigned long* status) {
    TransferRun run;
    BodyEnd end = BodyEnd::kFailed;
    if (!StartTransfer(&run, given, order, sink, &end))
        return end;
    uint64_t seen = 0;
    while (!StepTransfer(&run, &end, status))
        WaitForTransfers(run.session, &seen, kPaceCheckIntervalMs);
    return end;
}
