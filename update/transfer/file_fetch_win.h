// One file's fetch into a temporary file beside its place, checked and ready to be put in place;
// and what is kept of a fetch that stopped, for the next one to go on from.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/scoped_win.h"
#include "update/transfer/disk_room.h"
#include "update/transfer/download_end.h"
#include "update/local/download_outcome.h"
#include "update/transfer/transfer_limits.h"
#include "update/transfer/transfer_session_win.h"

// What the file fetches of one run share, on the thread that steps them: the session, one MD5
// provider (acquiring one costs more than a small file) and the disk's free space, which counts
// what every fetch under way still needs.
struct FetchShare {
    TransferSession session;
    ScopedCryptContext md5Provider;
    DiskRoom room;
    // Transfers under way, at most kTransfersAtOnce: a fetch waits for a free one before its
    // request, and a file patched from its parts uses those the others leave.
    size_t transfers = 0;
};
// A share over `session`, or over a session of its own when that is null.
std::shared_ptr<FetchShare> OpenFetchShare(const TransferSession& session, const TransferLimits& limits);
bool TakeTransferSlot(FetchShare& share);
void ReturnTransferSlot(FetchShare& share);
// The share's free-space figure, asked of `folder`'s volume first when it is not trusted for
// `needed` more bytes.
DiskRoom& RoomFor(FetchShare& share, const std::wstring& folder, uint64_t needed);

// One file's fetch into a temporary file beside `localPath`, stepped by the thread that made it,
// which may step several at once and wait for news of any (WaitForTransfers on Session()). It
// creates the missing folders of `localPath` first, before any network activity, and touches no
// existing file there. The body is hashed as it arrives and `progress` (when given) told its
// bytes; the fetch ends with kFetched once the whole body has arrived and its MD5 is `md5` (in any
// letter case; an empty `md5` never matches): the temporary file then waits for InstallDownload.
// A transfer cut by a passing fault or by `stop` after some bytes keeps its temporary file with a
// record beside it (ResumeRecordPath), and the next fetch at `localPath` asks only for the rest;
// any other failure removes both. A body the disk has no room for (what the other fetches of
// `share` still need counted) ends with kNoRoom before anything is written. Destroyed before its
// end, it leaves what it wrote as it is and gives back the room it was promised.
class FileFetch {
public:
    FileFetch(const std::string& address,
              const std::wstring& localPath,
              const std::string& md5,
              const TransferLimits& limits,
              const std::shared_ptr<FetchShare>& share,
              const TransferStop& stop,
              FetchProgress* progress = nullptr);
    ~FileFetch();
    FileFetch(const FileFetch&) = delete;
    FileFetch& operator=(const FileFetch&) = delete;

    // Does what can be done without waiting; true once the fetch has ended, with its outcome.
    bool Step(DownloadOutcome* outcome);
    const TransferSession& Session() const { return share_->session; }

private:
    bool Begin(DownloadOutcome* outcome);  // the checks before any request; false when they end it
    bool StartAttempt(BodyEnd* end);       // false when the attempt ended before its request
    bool OnAnswer(const Answer& answer);
    bool OnBlock(const char* bytes, DWORD length);
    // True when the fetch has ended with `outcome`, false when it goes on whole from the start.
    bool EndAttempt(BodyEnd end, DownloadOutcome* outcome);
    void DropPart();
    void ReleaseRoom();
    void ReturnSlot();

    std::string address_;
    std::wstring localPath_;
    std::string md5_;
    TransferLimits limits_;
    std::shared_ptr<FetchShare> share_;
    TransferStop stop_;
    FetchProgress unseen_;
    FetchProgress& told_;
    std::wstring folder_;  // with its trailing separator
    std::wstring temporaryPath_;
    std::wstring recordPath_;
    RangeRequest resume_;
    bool begun_ = false;
    bool done_ = false;
    DownloadOutcome outcome_ = DownloadOutcome::kFailed;
    // The attempt under way.
    ScopedFile file_;
    ScopedCryptHash hash_;
    FileEndFacts facts_;
    int64_t length_ = -1;
    uint64_t promised_ = 0;  // what the disk room still holds for this body
    bool hashed_ = true;
    bool recordedAhead_ = false;
    bool slotHeld_ = false;
    std::string validator_;
    BodySink sink_;
    TransferRun transfer_;
};

// A FileFetch stepped on the calling thread until it ends.
DownloadOutcome FetchToTemporary(const std::string& address,
                                 const std::wstring& localPath,
                                 const std::string& md5,
                                 const TransferLimits& limits,
                                 const TransferSession& session,
                                 const TransferStop& stop,
                                 FetchProgress* progress = nullptr);

// Whether a temporary download (its path) has a sound record beside it, so the next download at
// its target goes on from where it stopped.
bool CanResumeDownload(const std::wstring& temporaryPath);
// Deletes a temporary download and its record.
void DeleteDownload(const std::wstring& temporaryPath);
