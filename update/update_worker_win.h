// The background thread of an update run and the three messages it posts to the main window.
//
// The threads of one run:
// - The window's thread makes the run's UpdateRunFlags, starts the worker with a share of them,
//   sets cancelRequested on CANCEL and clears progressUnread at each animation tick. It learns
//   everything else from the three messages below, and WM_UPDATE_FINISHED comes last.
// - The worker (UpdateWorker) owns the run: the list, the transfer session, the CryptoAPI
//   provider, the digests ahead, and up to kTransfersAtOnce fetches, which it steps itself
//   (FileFetch: the files written and hashed, their ends decided) while it waits for news from
//   their readers. It decides the entries in list order, puts each fetched file in place once
//   every entry before it is handled, reads the flags and reports only by posting messages. It
//   posts WM_UPDATE_FINISHED after all the threads below have been joined and the session closed.
// - Digest threads (DigestsAhead, none to four) read the files of the paths ahead and hand each
//   digest over through a slot of its own; the worker stops and joins them before RunUpdate
//   returns.
// - A reading thread per transfer under way (lent by the session) owns the WinInet request and
//   hands the answer and the blocks to the worker through a queue under its mailbox's lock, telling
//   the session's news signal each time; a free one waits for the session's next transfer. A
//   reader reads only what has come, so one whose transfer was given up (a trickle, CANCEL) ends
//   at its next bytes. The session joins its readers when it closes, those given up too if they
//   end within half a second; any other owns what it touches (its line, its request, a share of
//   the session's handle) and ends on its own by the transfer's timeout. Under Wine nothing else
//   ends a wait for bytes: neither closing the request's handle nor a new receive timeout.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "update/transfer_limits.h"

// wParam: how far the run is, in units of ProgressUnitsPerEntry (run_progress.h): the entries
// handled so far, and the bytes of the one under way; lParam: the total, at least 1, reached only
// once every entry is handled.
constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 1;
// wParam: 0; lParam: a std::wstring* made by PostStatusText, owned by the receiver (TakeStatusText).
constexpr UINT WM_UPDATE_STATUS = WM_USER + 2;
// wParam: kUpdateRunComplete or kUpdateRunNotComplete; lParam: 0. Always the run's last message.
constexpr UINT WM_UPDATE_FINISHED = WM_USER + 3;
constexpr WPARAM kUpdateRunNotComplete = 0;  // cancelled, failed, no connection or nothing listed
constexpr WPARAM kUpdateRunComplete = 1;

// What one run shares with the window that started it. The window makes one for each run and
// keeps it; the worker holds a share of it until its last message is posted, so a run still
// tearing down can never see the flags of the next one. Nothing else is published through the
// flags, so relaxed ordering suffices.
struct UpdateRunFlags {
    // Set by the window when the player presses CANCEL; the worker stops at its next look.
    std::atomic<bool> cancelRequested{false};
    // Set by the worker when it posts WM_UPDATE_PROGRESS, cleared by the window once it has shown
    // the figure (at its next animation tick): while it is set the worker holds further progress
    // back instead of piling up messages.
    std::atomic<bool> progressUnread{false};
};

// Posts a heap copy of `text` with WM_UPDATE_STATUS. When the post fails (the window is gone)
// nobody else will ever see the copy, so it is freed here and false is returned.
bool PostStatusText(HWND window, const std::wstring& text);

// The receiving half of WM_UPDATE_STATUS: returns the text and frees the copy.
std::wstring TakeStatusText(LPARAM lParam);

// One of the worker's messages as whoever reads them sees it: the window, the tests and the
// benchmark all read them through ReadWorkerMessage.
struct WorkerReport {
    enum class Kind { kOther, kProgress, kStatus, kFinished };
    Kind kind = Kind::kOther;
    int32_t done = 0;       // kProgress: how far the run is, in the units of WM_UPDATE_PROGRESS
    int32_t total = 0;      // kProgress: at least 1
    std::wstring text;      // kStatus
    bool complete = false;  // kFinished: the run completed
};
// Takes a status text over (and frees its copy). A progress message without a positive total,
// and any message that is not the worker's, reads as kOther.
WorkerReport ReadWorkerMessage(UINT message, WPARAM wParam, LPARAM lParam);

// One whole run on the calling thread: files below `launcherFolder`, the manifest and files from
// `serverRoots` (the main one first), every report posted to `window`, every transfer within `limits`, CANCEL
// and the window's reading of progress through `flags`. WM_UPDATE_FINISHED is posted last, once every thread the run
// started has been joined and its session closed. With a `manifestPublicKey` (the form the build takes) the list must
// carry its signature and every file its listed digest; without one neither is asked for.
void RunUpdateForWindow(HWND window,
                        UpdateRunFlags& flags,
                        const std::wstring& launcherFolder,
                        const std::vector<std::string>& serverRoots,
                        const TransferLimits& limits = kTransferLimits,
                        const std::string& manifestPublicKey = std::string());

// The thread argument: made by StartUpdateWorker, taken over and freed by the worker.
struct UpdateWorkerArgument {
    HWND window;
    std::shared_ptr<UpdateRunFlags> flags;
};

// Thread procedure. `argument` is a heap UpdateWorkerArgument that the worker takes over and
// frees; the run uses the executable's folder, the compiled-in server root and the compiled-in key.
DWORD WINAPI UpdateWorker(LPVOID argument);

// Starts UpdateWorker for `window` and the run's `flags`, and returns the thread's handle for the
// caller to keep and close; null when the thread could not be created (the argument block is then
// freed here).
HANDLE StartUpdateWorker(HWND window, const std::shared_ptr<UpdateRunFlags>& flags);

// For the end of the program: CANCEL for the run, a wait of at most `milliseconds` for its
// `worker` (null when none runs), and no replacement of the running launcher from then on, nor
// one under way split by the exit.
void EndUpdateWorker(HANDLE worker, UpdateRunFlags& flags, DWORD milliseconds);
