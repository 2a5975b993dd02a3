#include "update/transfer/file_fetch_win.h"

#include <algorithm>

#include "update/local/digest_text.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/local/file_install_win.h"
#include "update/local/local_files_win.h"
#include "update/transfer/resume_record.h"

namespace {

constexpr DWORD kFileBlockLength = 65536;
// How often a fetch stepped alone looks at its pace and at CANCEL while nothing comes.
constexpr DWORD kPaceCheckIntervalMs = 100;

// Windows refuses to replace a read-only file or a folder with a rename; Wine replaces a read-only
// file all the same, so ask first and leave such a target alone everywhere.
bool CanWriteTarget(const std::wstring& localPath) {
    const DWORD attributes = GetFileAttributesW(localPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

uint64_t QueryFreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

// Writes all of `length` bytes: ERROR_SUCCESS, or the error met. Wine answers a write that meets
// a full disk with a short count and no error; the rest then fails with ERROR_DISK_FULL, and a
// write that moves nothing at all means the same.
DWORD WriteWhole(HANDLE file, const char* bytes, DWORD length) {
    while (length > 0) {
        DWORD count = 0;
        if (!WriteFile(file, bytes, length, &count, nullptr))
            return GetLastError();
        if (count == 0)
            return ERROR_DISK_FULL;
        bytes += count;
        length -= count;
    }
    return ERROR_SUCCESS;
}

// A record is one short line or two; anything longer is not one of ours.
constexpr uint64_t kMostRecordBytes = 4096;

// A record that parses, beside a temporary file holding exactly the bytes it names, or some
// bytes when it names none (the launcher was closed while the transfer was under way).
bool ReadResumeRecord(const std::wstring& temporaryPath, const std::wstring& recordPath, ResumeRecord* record) {
    std::string text;
    if (!ReadFileUpTo(recordPath, kMostRecordBytes, &text) || !ParseResumeRecord(text, record))
        return false;
    const uint64_t length = FileLengthAt(temporaryPath);
    if (record->bytes == 0)
        record->bytes = length;
    return length > 0 && length == record->bytes;
}

// Where a stopped download goes on from. Anything but a sound record starts from nothing (a
// temporary file without one is overwritten).
RangeRequest ReadResumePoint(const std::wstring& temporaryPath, const std::wstring& recordPath) {
    // Nothing kept, as for most files: no record is looked for.
    if (GetFileAttributesW(temporaryPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return RangeRequest();
    ResumeRecord record;
    if (ReadResumeRecord(temporaryPath, recordPath, &record))
        return RangeRequest{record.bytes, record.validator};
    DeleteFileW(recordPath.c_str());
    return RangeRequest();
}

}  // namespace

std::shared_ptr<FetchShare> OpenFetchShare(const TransferSession& session, const TransferLimits& limits) {
    auto share = std::make_shared<FetchShare>();
    share->session = session ? session : OpenTransferSession(limits);
    return share;
}

bool TakeTransferSlot(FetchShare& share) {
    if (share.transfers >= kTransfersAtOnce)
        return false;
    ++share.transfers;
    return true;
}

void ReturnTransferSlot(FetchShare& share) {
    --share.transfers;
}

// A run writes file after file onto one disk, and asking costs a tenth of a small file's whole
// download under Wine. Asked again after kFreeSpaceRecheckBytes, so other programs' writes are
// noticed in time.
DiskRoom& RoomFor(FetchShare& share, const std::wstring& folder, uint64_t needed) {
    if (MustAskFreeSpace(share.room, needed))
        NoteFreeSpace(&share.room, QueryFreeBytes(folder));
    return share.room;
}

FileFetch::FileFetch(const std::string& address,
                     const std::wstring& localPath,
                     const std::string& md5,
                     const TransferLimits& limits,
                     const std::shared_ptr<FetchShare>& share,
                     const TransferStop& stop,
                     FetchProgress* progress)
    : address_(address),
      localPath_(localPath),
      md5_(md5),
      limits_(limits),
      share_(share ? share : OpenFetchShare(nullptr, limits)),
      stop_(stop),
      told_(progress ? *progress : unseen_) {
    sink_.onAnswer = [this](const Answer& answer) { return OnAnswer(answer); };
    sink_.onBlock = [this](const char* bytes, DWORD length) { return OnBlock(bytes, length); };
}

FileFetch::~FileFetch() {
    ReleaseRoom();
    ReturnSlot();
}

void FileFetch::ReturnSlot() {
    if (slotHeld_)
        ReturnTransferSlot(*share_);
    slotHeld_ = false;
}

void FileFetch::ReleaseRoom() {
    ReleasePromise(&share_->room, promised_);
    promised_ = 0;
}

bool FileFetch::Step(DownloadOutcome* outcome) {
    if (!begun_) {
        begun_ = true;
        done_ = !Begin(&outcome_);
    }
    while (!done_) {
        BodyEnd end = BodyEnd::kFailed;
        if (!transfer_.running && !slotHeld_) {
            if (!TakeTransferSlot(*share_))
                return false;
            slotHeld_ = true;
        }
        if (!transfer_.running && !StartAttempt(&end)) {
            done_ = EndAttempt(end, &outcome_);
            continue;
        }
        if (!StepTransfer(&transfer_, &end))
            return false;
        done_ = EndAttempt(end, &outcome_);
    }
    *outcome = outcome_;
    return true;
}

bool FileFetch::Begin(DownloadOutcome* outcome) {
    const size_t separator = localPath_.find_last_of(L"\\/");
    folder_ = localPath_.substr(0, separator + 1);
    const std::wstring folderPath = localPath_.substr(0, separator);
    *outcome = DownloadOutcome::kCannotWrite;
    // A folder that cannot be made (a file stands in the way) is found here, before any request.
    if (!MakeFolders(folderPath) || !CanWriteTarget(localPath_))
        return false;
    // No body could ever match: nothing is fetched.
    *outcome = DownloadOutcome::kFailed;
    if (!share_->md5Provider.IsValid())
        share_->md5Provider.Reset(AcquireMd5Provider());
    if (md5_.empty() || !share_->md5Provider.IsValid())
        return false;
    // Only the temporary name may pass the length Windows allows: a target that fits without it
    // must not fail for its sake. The target itself keeps its ordinary form, as every run reads it.
    temporaryPath_ = LongPathForm(TemporaryDownloadPath(localPath_));
    recordPath_ = LongPathForm(ResumeRecordPath(localPath_));
    resume_ = ReadResumePoint(temporaryPath_, recordPath_);
    return true;
}

bool FileFetch::StartAttempt(BodyEnd* end) {
    file_.Reset();
    facts_ = FileEndFacts();
    length_ = -1;
    hashed_ = true;
    recordedAhead_ = false;
    validator_.clear();
    *end = BodyEnd::kFailed;
    if (!StartMd5(share_->md5Provider.Get(), &hash_))
        return false;
    RequestOptions ask;
    ask.range = resume_;
    return StartTransfer(&transfer_, share_->session, TransferOrder{address_, kFileBlockLength, limits_, ask, stop_},
                         sink_, end);
}

// Made (or opened to append) once the answer is known to be usable, so a failed request leaves
// nothing new behind.
bool FileFetch::OnAnswer(const Answer& answer) {
    facts_.answered = true;
    const RangeAnswer range = JudgeRangeAnswer(resume_.firstByte, answer.status, answer.rangeStart);
    if (range == RangeAnswer::kWrongRange) {
        facts_.wrongRange = true;
        return false;
    }
    facts_.appended = range == RangeAnswer::kRest;
    if (!PromiseBody(&RoomFor(*share_, folder_, answer.length < 0 ? 0 : answer.length), answer.length, limits_)) {
        facts_.localEnd = DownloadOutcome::kNoRoom;
        return false;
    }
    promised_ = answer.length > 0 ? static_cast<uint64_t>(answer.length) : 0;
    facts_.written = facts_.appended ? resume_.firstByte : 0;
    length_ = answer.length < 0 ? -1 : answer.length + static_cast<int64_t>(facts_.written);
    validator_ = answer.validator;
    told_.length = length_;
    told_.received = static_cast<int64_t>(facts_.written);
    // The part already on disk goes into the digest first, read through the same handle that
    // then appends at its end.
    file_.Reset(CreateFileW(temporaryPath_.c_str(), facts_.appended ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE, 0,
                            nullptr, facts_.appended ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
    if (!file_.IsValid()) {
        facts_.localEnd = LocalFailure(GetLastError());
        return false;
    }
    if (facts_.appended && !HashOpenFile(hash_.Get(), file_.Get())) {
        hashed_ = false;
        return false;
    }
    // A large file names its version before its bytes come, so that what arrived survives the
    // launcher being closed midway.
    recordedAhead_ = length_ >= kRecordedFromBytes && !validator_.empty();
    if (recordedAhead_)
        WriteWholeFile(recordPath_, FormatResumeRecord({validator_, 0}));
    else if (resume_.firstByte > 0)
        DeleteFileW(recordPath_.c_str());
    return true;
}

bool FileFetch::OnBlock(const char* bytes, DWORD length) {
    // A body of known length had its room promised whole; one without keeps off the floor.
    if (length_ < 0 && !MayWriteUnannounced(RoomFor(*share_, folder_, length), length, limits_)) {
        facts_.localEnd = DownloadOutcome::kNoRoom;
        return false;
    }
    const DWORD error = WriteWhole(file_.Get(), bytes, length);
    if (error != ERROR_SUCCESS) {
        facts_.localEnd = LocalFailure(error);
        return false;
    }
    const DWORD count = length;
    facts_.written += count;
    told_.received = static_cast<int64_t>(facts_.written);
    const uint64_t fromPromise = std::min<uint64_t>(promised_, count);
    NoteWritten(&share_->room, count, fromPromise);
    promised_ -= fromPromise;
    hashed_ = HashBytes(hash_.Get(), bytes, length);
    return hashed_;
}

void FileFetch::DropPart() {
    DeleteFileW(temporaryPath_.c_str());
    DeleteFileW(recordPath_.c_str());
}

bool FileFetch::EndAttempt(BodyEnd end, DownloadOutcome* outcome) {
    ReleaseRoom();
    ReturnSlot();
    facts_.end = end;
    facts_.closed = file_.Close();
    if (facts_.localEnd == DownloadOutcome::kStored && !facts_.closed)
        facts_.localEnd = LocalFailure(GetLastError());
    facts_.lengthKnown = length_ >= 0;
    facts_.digestMatches = hashed_ && facts_.closed && DigestsMatch(FinishMd5(hash_.Get()), md5_);
    facts_.hasValidator = !validator_.empty();
    facts_.stopRequested = stop_.IsSet();
    const FileEnd decided = DecideFileEnd(facts_);
    *outcome = decided.outcome;
    switch (decided.action) {
        case FileEndAction::kKeepFetched:
            // Whole now: no record may make it look like a part to go on from.
            if (resume_.firstByte > 0 || recordedAhead_)
                DeleteFileW(recordPath_.c_str());
            return true;
        case FileEndAction::kFetchWhole:
            DropPart();
            resume_ = RangeRequest();
            return false;
        case FileEndAction::kKeepAsItWas:
            return true;
        case FileEndAction::kKeepPart:
            if (WriteWholeFile(recordPath_, FormatResumeRecord({validator_, facts_.written})))
                return true;
            break;
        case FileEndAction::kDropPart:
            break;
    }
    DropPart();
    return true;
}

DownloadOutcome FetchToTemporary(const std::string& address,
                                 const std::wstring& localPath,
                                 const std::string& md5,
                                 const TransferLimits& limits,
                                 const TransferSession& session,
                                 const TransferStop& stop,
                                 FetchProgress* progress) {
    FileFetch fetch(address, localPath, md5, limits, OpenFetchShare(session, limits), stop, progress);
    DownloadOutcome outcome = DownloadOutcome::kFailed;
    uint64_t seen = 0;
    while (!fetch.Step(&outcome))
        WaitForTransfers(fetch.Session(), &seen, kPaceCheckIntervalMs);
    return outcome;
}

bool CanResumeDownload(const std::wstring& temporaryPath) {
    ResumeRecord record;
    return ReadResumeRecord(LongPathForm(temporaryPath), LongPathForm(ResumeRecordPathOfTemporary(temporaryPath)),
                            &record);
}

void DeleteDownload(const std::wstring& temporaryPath) {
    DeleteFileW(LongPathForm(temporaryPath).c_str());
    DeleteFileW(LongPathForm(ResumeRecordPathOfTemporary(temporaryPath)).c_str());
}
