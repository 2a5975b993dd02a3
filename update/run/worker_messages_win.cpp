#include "update/run/worker_messages_win.h"

#include <new>

bool PostStatusText(HWND window, const std::wstring& text) {
    // A null window would turn the post into a thread message nobody reads.
    if (!window)
        return false;
    // Without memory for the copy the text is lost, but the run still ends as it should.
    std::wstring* copy = nullptr;
    try {
        copy = new std::wstring(text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (PostMessageA(window, WM_UPDATE_STATUS, 0, reinterpret_cast<LPARAM>(copy)))
        return true;
    delete copy;
    return false;
}

std::wstring TakeStatusText(LPARAM lParam) {
    std::wstring* copy = reinterpret_cast<std::wstring*>(lParam);
    if (!copy)
        return std::wstring();
    std::wstring text = std::move(*copy);
    delete copy;
    return text;
}

WorkerReport ReadWorkerMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    WorkerReport report;
    switch (message) {
        case WM_UPDATE_PROGRESS:
            if (static_cast<int32_t>(lParam) > 0) {
                report.kind = WorkerReport::Kind::kProgress;
                report.done = static_cast<int32_t>(wParam);
                report.total = static_cast<int32_t>(lParam);
            }
            break;
        case WM_UPDATE_STATUS:
            report.kind = WorkerReport::Kind::kStatus;
            report.text = TakeStatusText(lParam);
            break;
        case WM_UPDATE_FINISHED:
            report.kind = WorkerReport::Kind::kFinished;
            report.complete = wParam == kUpdateRunComplete;
            break;
    }
    return report;
}
