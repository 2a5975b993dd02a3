// A large file's new version patched from the old one: its block map is fetched, the old file is
// searched for the blocks it already holds, which go into the temporary file, and only the
// missing byte ranges are asked for. Anything that goes wrong on the way (no map, a map of another
// version, a server that ignores ranges, a part that fails its block's digest, an assembled file
// that fails the listed MD5) turns it into the ordinary fetch of the whole file, in the same try.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_win.h"
#include "update/delta/block_map.h"
#include "update/delta/block_search.h"
#include "update/local/download_outcome.h"
#include "update/transfer/file_fetch_win.h"

// Whether the fetch of `localPath`'s new version should try its block map: the old file is there
// and large enough to have one, and no download of it is kept to go on from.
bool IsWorthPatching(const std::wstring& localPath);

// Stepped like a FileFetch, and ends as one does: kFetched once the temporary file beside
// `localPath` holds the new version with the listed MD5. The old file is only read. `progress`
// hears the bytes of the parts fetched, out of the bytes missing, or those of the whole file once
// it falls back. The old file is searched, and the assembled file checked, on a thread of the
// fetch's own, which a stop ends within a megabyte; the parts are fetched on the share's session,
// as many at once as its transfers leave free.
class DeltaFetch {
public:
    DeltaFetch(const std::string& address,
               const std::wstring& localPath,
               const std::string& md5,
               const TransferLimits& limits,
               const std::shared_ptr<FetchShare>& share,
               const TransferStop& stop,
               FetchProgress& progress);
    ~DeltaFetch();
    DeltaFetch(const DeltaFetch&) = delete;
    DeltaFetch& operator=(const DeltaFetch&) = delete;

    bool Step(DownloadOutcome* outcome);

private:
    enum class Phase { kMap, kSearch, kParts, kCheck, kWhole, kEnded };
    struct Part;

    // Each takes its phase on as far as it can without waiting; false while it waits.
    bool StepMap();
    bool StartSearch();
    bool StepSearch();
    bool StepParts();
    bool StepCheck();
    bool StartPart();
    bool OnPartBlock(Part& part, const char* bytes, DWORD length);
    void RunOnThread(std::function<bool()> work);
    bool JoinThread();  // the thread's result once it has ended
    void StopAll();     // the thread, the transfers, their slots and the disk room
    void FallBack();
    void End(DownloadOutcome outcome);

    std::string address_;
    std::wstring localPath_;
    std::string md5_;
    TransferLimits limits_;
    std::shared_ptr<FetchShare> share_;
    TransferStop stop_;
    FetchProgress& told_;
    std::wstring temporaryPath_;
    Phase phase_ = Phase::kMap;
    DownloadOutcome outcome_ = DownloadOutcome::kFailed;
    // The map's transfer.
    TransferRun mapRun_;
    BodySink mapSink_;
    std::string mapText_;
    bool mapSlot_ = false;
    BlockMap map_;
    uint64_t promised_ = 0;
    // The thread that searches the old file, then checks the assembled one.
    std::thread thread_;
    std::atomic<bool> threadStop_{false};
    std::atomic<bool> threadDone_{false};
    bool threadResult_ = false;
    ScopedFile oldFile_;
    ScopedFile temporary_;
    uint64_t oldLength_ = 0;
    uint64_t heldBytes_ = 0;
    std::vector<int64_t> sources_;
    std::string digest_;  // the assembled file's
    // The parts.
    std::vector<ByteSpan> spans_;
    size_t nextSpan_ = 0;
    std::vector<std::unique_ptr<Part>> parts_;  // under way
    bool partFailed_ = false;
    std::unique_ptr<FileFetch> whole_;
};
