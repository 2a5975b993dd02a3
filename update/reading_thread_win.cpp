#include "update/reading_thread_win.h"

#include <system_error>
#include <utility>

namespace {

// Blocks read ahead of the storing side: memory stays bounded when the disk is slower.
constexpr size_t kQueuedBlocks = 4;

// The reader's news: the storing side, waiting on the line or on the session, hears it.
void Tell(ReaderLine& line) {
    WakeAllConditionVariable(&line.changed);
    if (TransferNews* news = line.news.get()) {
        AcquireSRWLockExclusive(&news->lock);
        ++news->count;
        ReleaseSRWLockExclusive(&news->lock);
        WakeAllConditionVariable(&news->changed);
    }
}

// Reads one job's answer into it block by block, until the body ends or the storing side gives up.
void ReadJob(ReaderLine& line, TransferJob& job, RequestHandles* handles) {
    Answer answer;
    const Opened opened = OpenAnswer(job.address, job.request, job.limits, handles, &answer);
    const bool usable = opened == Opened::kUsable;
    if (!usable)
        handles->request.Reset();
    {
        Hold hold(line);
        job.answer = answer;
        job.state =
            usable ? ReadState::kBody : (opened == Opened::kPassing ? ReadState::kUnreachable : ReadState::kRefused);
    }
    // A usable answer is told with its first block: a wake-up less for every file, and under
    // Wine each costs more than a small file's bytes.
    if (!usable) {
        Tell(line);
        return;
    }
    uint64_t received = 0;
    for (;;) {
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
        const bool ended = !read || bytesRead == 0 || received == static_cast<uint64_t>(answer.length);
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
            if (ended)
                job.state = read ? ReadState::kBodyEnded : ReadState::kBodyCut;
        }
        Tell(line);
        if (ended)
            return;
    }
}

// The reading thread of a line: one job after another, until the line closes.
void ReadLine(std::shared_ptr<ReaderLine> line, SharedInternet internet) {
    RequestHandles handles;
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

}  // namespace

void WaitForNews(TransferNews& news, uint64_t* seen, DWORD milliseconds) {
    AcquireSRWLockExclusive(&news.lock);
    if (news.count == *seen)
        SleepConditionVariableSRW(&news.changed, &news.lock, milliseconds, 0);
    *seen = news.count;
    ReleaseSRWLockExclusive(&news.lock);
}

void Wake(ReaderLine& line) {
    WakeAllConditionVariable(&line.changed);
}

bool StartReader(const SharedInternet& internet, const std::shared_ptr<TransferNews>& news, Reader* reader) {
    reader->line = std::make_shared<ReaderLine>();
    reader->line->news = news;
    try {
        reader->thread = std::thread(ReadLine, reader->line, internet);
        return true;
    } catch (const std::system_error&) {
        reader->line.reset();
        return false;
    }
}

void GiveJob(ReaderLine& line, const std::shared_ptr<TransferJob>& job) {
    {
        Hold hold(line);
        line.job = job;
    }
    Wake(line);
}

void CloseLine(ReaderLine& line) {
    {
        Hold hold(line);
        line.closing = true;
        if (line.job)
            line.job->abandoned = true;
    }
    Wake(line);
}
