#include "update/transfer/reading_thread_win.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

// Blocks read ahead of the storing side: memory stays bounded when the disk is slower.
constexpr size_t kQueuedBlocks = 4;
// How long a block that has some bytes waits for more before it is handed over.
constexpr ULONGLONG kLongestBlockWaitMs = 100;

// The reader's news: the storing side, waiting on the line or on the session, hears it.
void NotifyStoringSide(ReaderMailbox& line) {
    WakeAllConditionVariable(&line.changed);
    if (ArrivalSignal* news = line.news.get()) {
        {
            const ScopedSrwLock hold(&news->lock);
            ++news->count;
        }
        WakeAllConditionVariable(&news->changed);
    }
}

// How a wait for the next bytes of a body ended.
enum class Arrival { kBytes, kEnd, kCut };

// Reads what has come of the body, at most `room` bytes, waiting for the first of them. Only what
// has come is asked for: a read for more waits until all of it is there, however slowly it
// trickles, and a reader whose transfer was given up would wait with it. Neither closing the
// request's handle nor a new receive timeout ends a wait under way under Wine.
Arrival ReadWhatCame(HINTERNET request, char* into, DWORD room, DWORD* got) {
    *got = 0;
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0))
        return Arrival::kCut;
    if (available == 0)
        return Arrival::kEnd;
    if (!InternetReadFile(request, into, std::min(available, room), got))
        return Arrival::kCut;
    return *got == 0 ? Arrival::kEnd : Arrival::kBytes;
}

// Reads one job's answer into it block by block, until the body ends or the storing side gives up.
void ReadJob(ReaderMailbox& line, TransferJob& job, RequestHandles* handles) {
    Answer answer;
    const Opened opened = OpenAnswer(job.address, job.request, job.limits, handles, &answer);
    const bool usable = opened == Opened::kUsable;
    if (!usable)
        handles->request.Reset();
    {
        ScopedSrwLock hold(&line.lock);
        job.answer = answer;
        job.state =
            usable ? ReadState::kBody : (opened == Opened::kPassing ? ReadState::kUnreachable : ReadState::kRefused);
    }
    // A usable answer is told with its first block: a wake-up less for every file, and under
    // Wine each costs more than a small file's bytes.
    if (!usable) {
        NotifyStoringSide(line);
        return;
    }
    uint64_t received = 0;
    for (;;) {
        {
            ScopedSrwLock hold(&line.lock);
            while (!job.abandoned && job.blocks.size() >= kQueuedBlocks)
                hold.Wait(&line.changed, INFINITE);
            if (job.abandoned)
                return;
        }
        // A block is handed over once it is full, or once it has waited a while for its bytes: the
        // storing side sees a slow body's pace, and a given-up reader learns so at its next bytes.
        std::vector<char> block(job.blockLength);
        DWORD filled = 0;
        Arrival arrival = Arrival::kBytes;
        const ULONGLONG begun = GetTickCount64();
        while (arrival == Arrival::kBytes && filled < job.blockLength &&
               (filled == 0 || GetTickCount64() - begun < kLongestBlockWaitMs)) {
            DWORD got = 0;
            arrival = ReadWhatCame(handles->request.Get(), block.data() + filled, job.blockLength - filled, &got);
            filled += got;
            received += got;
            // A body with a length ends with its last byte: no wait is spent, nor a wake-up, on
            // hearing so.
            if (received == static_cast<uint64_t>(answer.length))
                arrival = Arrival::kEnd;
        }
        const bool ended = arrival == Arrival::kEnd || arrival == Arrival::kCut;
        // Closed before the end is told, so the connection is back in the session's pool when
        // the next transfer asks for one.
        if (ended)
            handles->request.Reset();
        {
            ScopedSrwLock hold(&line.lock);
            // Wine ends a body that the server closes over TLS with a failed read that still
            // brings the last bytes; they are kept, for the digest to judge.
            if (filled > 0) {
                block.resize(filled);
                job.blocks.push_back(std::move(block));
            }
            if (ended)
                job.state = arrival == Arrival::kEnd ? ReadState::kBodyEnded : ReadState::kBodyCut;
        }
        NotifyStoringSide(line);
        if (ended)
            return;
    }
}

// The reading thread of a line: one job after another, until the line closes.
void ReadJobsOfMailbox(std::shared_ptr<ReaderMailbox> line, SharedInternet internet) {
    RequestHandles handles;
    handles.internet = std::move(internet);
    // Told when the thread is about to return, for whoever closes the session to join it.
    struct Ended {
        ReaderMailbox& line;
        ~Ended() {
            {
                ScopedSrwLock hold(&line.lock);
                line.ended = true;
            }
            WakeReader(line);
        }
    } ended{*line};
    for (;;) {
        std::shared_ptr<TransferJob> job;
        {
            ScopedSrwLock hold(&line->lock);
            while (!line->job && !line->closing)
                hold.Wait(&line->changed, INFINITE);
            if (!line->job)
                return;
            job = line->job;
        }
        ReadJob(*line, *job, &handles);
        handles.request.Reset();
        {
            // The storing side may have handed over its next transfer already.
            ScopedSrwLock hold(&line->lock);
            if (line->job == job)
                line->job.reset();
        }
    }
}

}  // namespace

void WaitForNews(ArrivalSignal& news, uint64_t* seen, DWORD milliseconds) {
    ScopedSrwLock hold(&news.lock);
    if (news.count == *seen)
        hold.Wait(&news.changed, milliseconds);
    *seen = news.count;
}

void WakeReader(ReaderMailbox& line) {
    WakeAllConditionVariable(&line.changed);
}

bool StartReader(const SharedInternet& internet, const std::shared_ptr<ArrivalSignal>& news, Reader* reader) {
    reader->line = std::make_shared<ReaderMailbox>();
    reader->line->news = news;
    try {
        reader->thread = std::thread(ReadJobsOfMailbox, reader->line, internet);
        return true;
    } catch (const std::system_error&) {
        reader->line.reset();
        return false;
    }
}

void GiveJob(ReaderMailbox& line, const std::shared_ptr<TransferJob>& job) {
    {
        ScopedSrwLock hold(&line.lock);
        line.job = job;
    }
    WakeReader(line);
}

void CloseMailbox(ReaderMailbox& line) {
    {
        ScopedSrwLock hold(&line.lock);
        line.closing = true;
        if (line.job)
            line.job->abandoned = true;
    }
    WakeReader(line);
}

void EndReaders(std::vector<Reader>* readers, DWORD milliseconds) {
    for (Reader& reader : *readers)
        CloseMailbox(*reader.line);
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (Reader& reader : *readers) {
        bool ended = false;
        {
            ScopedSrwLock hold(&reader.line->lock);
            for (;;) {
                ended = reader.line->ended;
                // Under Wine nothing ends the wait for an answer's headers but its timeout.
                const bool asking = reader.line->job && reader.line->job->state == ReadState::kAsking;
                const ULONGLONG now = GetTickCount64();
                if (ended || asking || now >= deadline)
                    break;
                hold.Wait(&reader.line->changed, static_cast<DWORD>(deadline - now));
            }
        }
        // Joined when it has returned (or is about to); otherwise it owns what it touches and
        // ends on its own at its timeout.
        if (ended)
            reader.thread.join();
        else
            reader.thread.detach();
    }
    readers->clear();
}
