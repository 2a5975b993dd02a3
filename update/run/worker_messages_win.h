// The three messages an update run posts to the window that started it, and the flags the two share.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

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
