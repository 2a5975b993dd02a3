#include "update/delta/delta_fetch_win.h"

#include <algorithm>
#include <cstring>

#include "update/local/digest_text.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/local/file_install_win.h"
#include "update/local/local_files_win.h"
#include "update/transfer/file_fetch_win.h"

namespace {

constexpr DWORD kMapBlockLength = 65536;
constexpr DWORD kPartBlockLength = 65536;
// Blocks found next to each other go out in one write of up to this many bytes.
constexpr size_t kHeldWriteBytes = 1 << 20;

uint64_t LengthOfFile(HANDLE file) {
    LARGE_INTEGER length = {};
    return GetFileSizeEx(file, &length) ? static_cast<uint64_t>(length.QuadPart) : 0;
}

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// Up to `length` bytes at `offset`: how many were read, 0 at the end or on failure.
size_t ReadAt(HANDLE file, uint64_t offset, uint8_t* into, size_t length) {
    OVERLAPPED at = At(offset);
    DWORD read = 0;
    if (!ReadFile(file, into, static_cast<DWORD>(length), &read, &at))
        return 0;
    return read;
}

// All of `length` bytes at `offset`: ERROR_SUCCESS, or the error met (a short write is a full disk).
DWORD WriteAt(HANDLE file, uint64_t offset, const void* bytes, size_t length) {
    const char* from = static_cast<const char*>(bytes);
    while (length > 0) {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
        if (!WriteFile(file, from, chunk, &written, &at))
            return GetLastError();
        if (written == 0)
            return ERROR_DISK_FULL;
        from += written;
        offset += written;
        length -= written;
    }
    return ERROR_SUCCESS;
}

// Blocks found in the old file go to their places in the temporary file, neighbours in one write.
struct HeldWriter {
    HANDLE file = INVALID_HANDLE_VALUE;
    uint32_t blockSize = 0;
    std::string run;
    uint64_t runStart = 0;
    bool failed = false;

    bool Add(size_t block, const uint8_t* bytes, size_t length) {
        const uint64_t offset = static_cast<uint64_t>(block) * blockSize;
        if (!run.empty() && (runStart + run.size() != offset || run.size() >= kHeldWriteBytes) && !Flush())
            return false;
        if (run.empty())
            runStart = offset;
        run.append(reinterpret_cast<const char*>(bytes), length);
        return true;
    }
    bool Flush() {
        failed = failed || WriteAt(file, runStart, run.data(), run.size()) != ERROR_SUCCESS;
        run.clear();
        return !failed;
    }
};

}  // namespace

// One missing range under way.
struct DeltaFetch::Part {
    ByteSpan span;
    uint64_t received = 0;  // bytes checked and written
    std::string pending;    // bytes of a block not yet complete
    TransferRun run;
    BodySink sink;
};

bool IsWorthPatching(const std::wstring& localPath) {
    return FileLengthAt(localPath) >= kBlockMapFromBytes && !CanResumeDownload(TemporaryDownloadPath(localPath));
}

DeltaFetch::DeltaFetch(const std::string& address,
                       const std::wstring& localPath,
                       const std::string& md5,
                       const TransferLimits& limits,
                       const std::shared_ptr<FetchShare>& share,
                       const TransferStop& stop,
                       FetchProgress& progress)
    : address_(address),
      localPath_(localPath),
      md5_(md5),
      limits_(limits),
      share_(share),
      stop_(stop),
      told_(progress),
      temporaryPath_(LongPathForm(TemporaryDownloadPath(localPath))) {
    mapSink_.onAnswer = [](const Answer& answer) { return answer.length <= static_cast<int64_t>(kMostBlockMapBytes); };
    mapSink_.onBlock = [this](const char* bytes, DWORD length) {
        return AppendWithinLimit(&mapText_, bytes, length, kMostBlockMapBytes);
    };
}

DeltaFetch::~DeltaFetch() {
    StopAll();
}

bool DeltaFetch::Step(DownloadOutcome* outcome) {
    for (;;) {
        if (phase_ == Phase::kWhole)
            return whole_->Step(outcome);
        if (phase_ == Phase::kEnded) {
            *outcome = outcome_;
            return true;
        }
        // CANCEL, or the run giving the file up: the old file was never touched, and what was
        // assembled so far cannot be gone on from.
        if (stop_.IsSet()) {
            StopAll();
            temporary_.Reset();
            DeleteFileW(temporaryPath_.c_str());
            End(DownloadOutcome::kCancelled);
            continue;
        }
        bool moved = false;
        switch (phase_) {
            case Phase::kMap:
                moved = StepMap();
                break;
            case Phase::kSearch:
                moved = StepSearch();
                break;
            case Phase::kParts:
                moved = StepParts();
                break;
            default:
                moved = StepCheck();
                break;
        }
        if (!moved)
            return false;
    }
}

bool DeltaFetch::StepMap() {
    BodyEnd end = BodyEnd::kFailed;
    if (!mapRun_.running && !mapSlot_) {
        if (!TakeTransferSlot(*share_))
            return false;
        mapSlot_ = true;
        if (!StartTransfer(&mapRun_, share_->session,
                           TransferOrder{address_ + kBlockMapSuffix, kMapBlockLength, limits_, RequestOptions(), stop_},
                           mapSink_, &end)) {
            FallBack();
            return true;
        }
    }
    if (!StepTransfer(&mapRun_, &end))
        return false;
    ReturnTransferSlot(*share_);
    mapSlot_ = false;
    // Only a map of the listed version helps: its blocks are what the new file must hold.
    if (end == BodyEnd::kCancelled) {
        End(DownloadOutcome::kCancelled);
        return true;
    }
    if ((end != BodyEnd::kWhole && end != BodyEnd::kUnsure) || !ParseBlockMap(mapText_, &map_) ||
        !DigestsMatch(map_.md5, md5_)) {
        FallBack();
        return true;
    }
    std::string().swap(mapText_);
    return StartSearch();
}

bool DeltaFetch::StartSearch() {
    const size_t separator = localPath_.find_last_of(L"\\/");
    const std::wstring folder = localPath_.substr(0, separator + 1);
    // The new file's whole length, as for a download of it. Only the map says so: a download of
    // the whole file judges the room by what the server says instead.
    if (map_.length > static_cast<uint64_t>(INT64_MAX) ||
        !PromiseBody(&RoomFor(*share_, folder, map_.length), static_cast<int64_t>(map_.length), limits_)) {
        FallBack();
        return true;
    }
    promised_ = map_.length;
    oldFile_.Reset(CreateFileW(localPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!oldFile_.IsValid()) {
        FallBack();
        return true;
    }
    oldLength_ = LengthOfFile(oldFile_.Get());
    temporary_.Reset(
        CreateFileW(temporaryPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!temporary_.IsValid()) {
        End(LocalFailure(GetLastError()));
        return true;
    }
    // A record of an earlier download beside it would make this file look like its part.
    DeleteFileW(LongPathForm(ResumeRecordPath(localPath_)).c_str());
    LARGE_INTEGER length = {};
    length.QuadPart = static_cast<LONGLONG>(map_.length);
    if (!SetFilePointerEx(temporary_.Get(), length, nullptr, FILE_BEGIN) || !SetEndOfFile(temporary_.Get())) {
        FallBack();
        return true;
    }
    phase_ = Phase::kSearch;
    RunOnThread([this] {
        HeldWriter writer;
        writer.file = temporary_.Get();
        writer.blockSize = map_.blockSize;
        BlockSearchIo io;
        io.read = [this](uint64_t offset, uint8_t* into, size_t length) {
            return ReadAt(oldFile_.Get(), offset, into, length);
        };
        io.onHeld = [this, &writer](size_t block, const uint8_t* bytes, size_t length) {
            heldBytes_ += length;
            return writer.Add(block, bytes, length);
        };
        io.stop = &threadStop_;
        return SearchHeldBlocks(map_, oldLength_, io, &sources_) && writer.Flush();
    });
    return true;
}

bool DeltaFetch::StepSearch() {
    if (!threadDone_.load())
        return false;
    const bool searched = JoinThread();
    oldFile_.Reset();
    NoteWritten(&share_->room, heldBytes_, std::min(promised_, heldBytes_));
    promised_ -= std::min(promised_, heldBytes_);
    // Nothing held: one plain download, which can go on from where it stops, costs less.
    if (!searched || heldBytes_ == 0) {
        FallBack();
        return true;
    }
    spans_ = MissingSpans(map_, sources_);
    told_.length = static_cast<int64_t>(SpanBytes(spans_));
    told_.received = 0;
    phase_ = Phase::kParts;
    return true;
}

bool DeltaFetch::StartPart() {
    std::unique_ptr<Part> part(new Part);
    part->span = spans_[nextSpan_];
    Part* under = part.get();
    part->sink.onAnswer = [this, under](const Answer& answer) {
        return IsSpanAnswer(under->span.first, under->span.count, answer.status, answer.rangeStart, answer.length);
    };
    part->sink.onBlock = [this, under](const char* bytes, DWORD length) { return OnPartBlock(*under, bytes, length); };
    RequestOptions ask;
    ask.spanFirst = part->span.first;
    ask.spanCount = part->span.count;
    BodyEnd end = BodyEnd::kFailed;
    if (!StartTransfer(&part->run, share_->session, TransferOrder{address_, kPartBlockLength, limits_, ask, stop_},
                       part->sink, &end))
        return false;
    ++nextSpan_;
    parts_.push_back(std::move(part));
    return true;
}

bool DeltaFetch::OnPartBlock(Part& part, const char* bytes, DWORD length) {
    if (part.received + part.pending.size() + length > part.span.count)
        return false;
    part.pending.append(bytes, length);
    // Each whole block is checked against the map before it is written; a part starts on a block.
    size_t checked = 0;
    while (checked < part.pending.size()) {
        const size_t block = static_cast<size_t>((part.span.first + part.received + checked) / map_.blockSize);
        const uint32_t blockLength = BlockLength(map_, block);
        if (part.pending.size() - checked < blockLength)
            break;
        const BlockSums sums =
            SumsOfBlock(reinterpret_cast<const uint8_t*>(part.pending.data()) + checked, blockLength, map_.strongBytes);
        if (sums.weak != map_.blocks[block].weak || !SameStrong(sums, map_.blocks[block], map_.strongBytes)) {
            partFailed_ = true;
            return false;
        }
        checked += blockLength;
    }
    if (checked == 0)
        return true;
    const DWORD error = WriteAt(temporary_.Get(), part.span.first + part.received, part.pending.data(), checked);
    if (error != ERROR_SUCCESS) {
        partFailed_ = true;
        return false;
    }
    part.pending.erase(0, checked);
    part.received += checked;
    NoteWritten(&share_->room, checked, std::min<uint64_t>(promised_, checked));
    promised_ -= std::min<uint64_t>(promised_, checked);
    told_.received += static_cast<int64_t>(checked);
    return true;
}

bool DeltaFetch::StepParts() {
    // One part at least, more while the other fetches leave transfers free.
    while (nextSpan_ < spans_.size() && TakeTransferSlot(*share_)) {
        if (!StartPart()) {
            ReturnTransferSlot(*share_);
            FallBack();
            return true;
        }
    }
    bool failed = false;
    for (auto part = parts_.begin(); part != parts_.end();) {
        BodyEnd end = BodyEnd::kFailed;
        if (!StepTransfer(&(*part)->run, &end)) {
            ++part;
            continue;
        }
        ReturnTransferSlot(*share_);
        // A 200 for the whole file, a part from elsewhere, one cut short or wrong: patching ends.
        failed = failed || end != BodyEnd::kWhole || (*part)->received != (*part)->span.count;
        part = parts_.erase(part);
    }
    if (failed || partFailed_) {
        FallBack();
        return true;
    }
    if (!parts_.empty() || nextSpan_ < spans_.size())
        return false;
    // Every byte is in place: the file is checked whole, as every download is.
    if (!temporary_.Close()) {
        FallBack();
        return true;
    }
    phase_ = Phase::kCheck;
    if (!share_->md5Provider.IsValid())
        share_->md5Provider.Reset(AcquireMd5Provider());
    const HCRYPTPROV provider = share_->md5Provider.Get();
    RunOnThread([this, provider] {
        digest_ = ComputeFileMd5With(provider, temporaryPath_, nullptr, DigestStop{&threadStop_, nullptr});
        return !digest_.empty();
    });
    return true;
}

bool DeltaFetch::StepCheck() {
    if (!threadDone_.load())
        return false;
    JoinThread();
    if (!DigestsMatch(digest_, md5_)) {
        FallBack();
        return true;
    }
    End(DownloadOutcome::kFetched);
    return true;
}

void DeltaFetch::RunOnThread(std::function<bool()> work) {
    threadStop_ = false;
    threadDone_ = false;
    threadResult_ = false;
    try {
        thread_ = std::thread([this, work] {
            threadResult_ = work();
            threadDone_ = true;
        });
    } catch (...) {
        threadDone_ = true;  // no thread to be had: the step after this one falls back
    }
}

bool DeltaFetch::JoinThread() {
    if (thread_.joinable())
        thread_.join();
    return threadResult_;
}

void DeltaFetch::StopAll() {
    threadStop_ = true;
    JoinThread();
    oldFile_.Reset();
    // Each transfer dropped hands its reader back to the session, to end at its next bytes.
    for (size_t part = 0; part < parts_.size(); ++part)
        ReturnTransferSlot(*share_);
    parts_.clear();
    if (mapSlot_)
        ReturnTransferSlot(*share_);
    mapSlot_ = false;
    ReleasePromise(&share_->room, promised_);
    promised_ = 0;
}

void DeltaFetch::FallBack() {
    StopAll();
    temporary_.Reset();
    DeleteFileW(temporaryPath_.c_str());
    told_.length = -1;
    told_.received = 0;
    phase_ = Phase::kWhole;
    whole_.reset(new FileFetch(address_, localPath_, md5_, limits_, share_, stop_, &told_));
}

void DeltaFetch::End(DownloadOutcome outcome) {
    StopAll();
    outcome_ = outcome;
    phase_ = Phase::kEnded;
}
