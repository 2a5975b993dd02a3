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
// - A patch thread per large file patched from its block map (DeltaFetch, one at a time for each
//   such fetch): it searches the old file and writes the blocks found into the temporary file,
//   then checks the assembled file's MD5, while the worker waits for it between its steps; the
//   worker stops it within a megabyte and joins it before the fetch ends or is dropped.
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

#include <memory>
#include <string>
#include <vector>

#include "update/transfer/transfer_limits.h"
#include "update/run/worker_messages_win.h"

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
