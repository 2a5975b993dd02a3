// The background thread of an update run and the three messages it posts to the main window.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "update/transfer_limits.h"

// wParam: entries handled so far (0..total); lParam: total number of entries, at least 1.
constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 1;
// wParam: 0; lParam: a std::wstring* made by PostStatusText, owned by the receiver (TakeStatusText).
constexpr UINT WM_UPDATE_STATUS = WM_USER + 2;
// wParam: kUpdateRunComplete or kUpdateRunNotComplete; lParam: 0. Always the run's last message.
constexpr UINT WM_UPDATE_FINISHED = WM_USER + 3;
constexpr WPARAM kUpdateRunNotComplete = 0;  // cancelled, failed, no connection or nothing listed
constexpr WPARAM kUpdateRunComplete = 1;

// The only variable two threads share: the window sets it to stop a run and clears it when a run
// starts and ends; the worker reads it before each manifest entry. Nothing else is published
// through it, so relaxed ordering suffices.
extern std::atomic<bool> cancelRequested;

// Set by the worker when it posts WM_UPDATE_PROGRESS, cleared by the window once it has shown the
// figure (at its next animation tick): while it is set the worker holds further progress back
// instead of piling up messages.
extern std::atomic<bool> progressUnread;

// Posts a heap copy of `text` with WM_UPDATE_STATUS. When the post fails (the window is gone)
// nobody else will ever see the copy, so it is freed here and false is returned.
bool PostStatusText(HWND window, const std::wstring& text);

// The receiving half of WM_UPDATE_STATUS: returns the text and frees the copy.
std::wstring TakeStatusText(LPARAM lParam);

// One whole run on the calling thread: files below `launcherFolder`, the manifest and files from
// `serverRoot`, every report posted to `window`, every transfer within `limits`. With a
// `manifestPublicKey` (the form the build takes) the list must carry its signature and every file
// its listed digest; without one neither is asked for.
void RunUpdateForWindow(HWND window,
                        const std::wstring& launcherFolder,
                        const std::string& serverRoot,
                        const TransferLimits& limits = kTransferLimits,
                        const std::string& manifestPublicKey = std::string());

// Thread procedure. `argument` is a heap HWND (new HWND) that the worker takes over and frees;
// the run uses the executable's folder, the compiled-in server root and the compiled-in key.
DWORD WINAPI UpdateWorker(LPVOID argument);

// Starts UpdateWorker for `window` without keeping the thread handle. False when the thread
// could not be created (the argument block is then freed here).
bool StartUpdateWorker(HWND window);
