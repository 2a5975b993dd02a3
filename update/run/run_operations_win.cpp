#include "update/run/run_operations_win.h"

#include <algorithm>
#include <thread>

#include "base/scoped_win.h"
#include "update/delta/delta_fetch_win.h"
#include "update/local/digest_record_win.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/transfer/http_transfer_win.h"
#include "update/list/memory_download_win.h"
#include "update/list/kept_list_win.h"
#include "update/list/manifest_signature.h"
#include "update/list/manifest_signature_win.h"
#include "update/run/update_run.h"

namespace {

// More threads than this only queue up for the disk.
constexpr unsigned kMostDigestThreads = 4;

// The search is closed also when the list cannot grow (the run then ends for lack of memory).
std::vector<std::wstring> ListTemporaryDownloads(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    const ScopedFindHandle search(
        FindFirstFileW(LongPathForm(folder + L"\\*" + kTemporaryDownloadSuffix).c_str(), &entry));
    if (!search.IsValid())
        return found;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found.push_back(folder + L"\\" + entry.cFileName);
    } while (FindNextFileW(search.Get(), &entry));
    return found;
}

}  // namespace

// The run itself. Everything it starts (the session and its reading thread, the digest threads,
// the CryptoAPI provider) is gone when this returns: only then may the window hear of the end.
bool RunUpdateOnThisThread(HWND window,
                           UpdateRunFlags& flags,
                           const std::wstring& launcherFolder,
                           const std::vector<std::string>& serverRoots,
                           const TransferLimits& limits,
                           const std::string& manifestPublicKey) {
    UpdateOperations operations;
    // One session for the manifest and every file: each transfer after the first finds its
    // connection open.
    const TransferSession session = OpenTransferSession(limits);
    operations.list.fetchList = [&](const std::string& address, const std::string& validator) {
        return DownloadList(address, validator, limits, session, &flags.cancelRequested);
    };
    if (!manifestPublicKey.empty()) {
        operations.list.fetchSignatureFile = [&](const std::string& address) {
            TransferLimits signatureLimits = limits;
            signatureLimits.maxManifestBytes = kMostSignatureFileBytes;
            return DownloadToString(address, signatureLimits, session, &flags.cancelRequested);
        };
        // A key the build could not read trusts nothing.
        operations.list.verifyListSignature = [&](const std::string& list, const std::string& signatureFile,
                                                  uint64_t* sequence) {
            return VerifySignedList(manifestPublicKey, list, signatureFile, sequence);
        };
    }
    // The list of the last run, kept outside the game folder: an unchanged one is not sent again.
    const std::wstring keptFolder = KeptListFolder(launcherFolder);
    if (!keptFolder.empty()) {
        operations.list.readKeptList = [&keptFolder](KeptList* kept) { return ReadKeptList(keptFolder, kept); };
        operations.list.keepList = [&keptFolder](const KeptList& kept) { WriteKeptList(keptFolder, kept); };
        operations.list.dropKeptList = [&keptFolder] { DeleteKeptList(keptFolder); };
        // The digests read by the runs before: an unchanged file is not read again.
        operations.readDigestRecord = [&keptFolder](size_t listed, DigestRecord* record) {
            return ReadDigestRecord(keptFolder, listed, record);
        };
        operations.writeDigestRecord = [&keptFolder](const DigestRecord& record) {
            WriteDigestRecord(keptFolder, record);
        };
        operations.readFileStates = ListFileStates;
        operations.readFileState = ReadFileState;
        operations.nowFileTime = FileTimeNow;
        if (!manifestPublicKey.empty()) {
            operations.list.readAcceptedSequence = [&keptFolder] { return ReadAcceptedSequence(keptFolder); };
            operations.list.writeAcceptedSequence = [&keptFolder](uint64_t sequence) {
                WriteAcceptedSequence(keptFolder, sequence);
            };
        }
    }
    operations.pathExists = [](const std::wstring& localPath) {
        return GetFileAttributesW(localPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    // One CryptoAPI provider for the whole run (released when the run ends).
    ScopedCryptContext md5Provider(AcquireMd5Provider());
    const HCRYPTPROV provider = md5Provider.Get();
    // CANCEL ends a digest too, on the run's thread or ahead: a large file takes seconds.
    operations.computeDigest = [provider, &flags](const std::wstring& localPath, const std::atomic<bool>& stop) {
        bool inUse = false;
        std::string digest =
            ComputeFileMd5With(provider, localPath, nullptr, DigestStop{&stop, &flags.cancelRequested}, &inUse);
        return FileDigest(std::move(digest), inUse);
    };
    // Digests are computed ahead, one thread a core, while this thread downloads and reports.
    const unsigned cores = std::thread::hardware_concurrency();
    operations.digestThreads = cores > 1 ? std::min(cores, kMostDigestThreads) : 0;
    // Up to kTransfersAtOnce files are fetched at once, all stepped on this thread: each file's
    // round trip is hidden behind the others' bytes, and no thread but the readers is needed.
    // They share the disk's free space and one MD5 provider.
    const std::shared_ptr<FetchShare> share = OpenFetchShare(session, limits);
    operations.startFetch = [&](const std::string& address, const std::wstring& localPath, const std::string& md5,
                                FetchProgress& progress, const std::atomic<bool>& stop) -> FetchStep {
        const TransferStop stops{&flags.cancelRequested, &stop};
        // A large file already there is patched from the blocks it holds, when its map allows.
        if (IsWorthPatching(localPath)) {
            std::shared_ptr<DeltaFetch> fetch =
                std::make_shared<DeltaFetch>(address, localPath, md5, limits, share, stops, progress);
            return [fetch](DownloadOutcome* outcome) { return fetch->Step(outcome); };
        }
        std::shared_ptr<FileFetch> fetch =
            std::make_shared<FileFetch>(address, localPath, md5, limits, share, stops, &progress);
        return [fetch](DownloadOutcome* outcome) { return fetch->Step(outcome); };
    };
    operations.installFile = InstallDownload;
    operations.transfersAtOnce = kTransfersAtOnce;
    uint64_t seen = 0;
    operations.waitForTransfers = [&session, &seen](uint32_t milliseconds) {
        WaitForTransfers(session, &seen, milliseconds);
    };
    operations.nowMs = [] { return static_cast<uint64_t>(GetTickCount64()); };
    operations.listTemporaryFiles = ListTemporaryDownloads;
    operations.canResume = CanResumeDownload;
    operations.deleteFile = DeleteDownload;
    std::atomic<bool>& cancel = flags.cancelRequested;
    operations.isCancelRequested = [&cancel] { return cancel.load(std::memory_order_relaxed); };
    std::atomic<bool>& unread = flags.progressUnread;
    unread.store(false);
    operations.postProgress = [window, &unread](int32_t done, int32_t total) {
        // Set before the post: the window may read the message before PostMessage returns.
        unread.store(true);
        if (!PostMessageA(window, WM_UPDATE_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total)))
            unread.store(false);
    };
    operations.isProgressUnread = [&unread] { return unread.load(); };
    // A text counts as a report the window has yet to read, as a figure does.
    operations.postStatus = [window, &unread](const std::wstring& text) {
        unread.store(true);
        if (!PostStatusText(window, text))
            unread.store(false);
    };
    return RunUpdate(launcherFolder, serverRoots, operations);
}
