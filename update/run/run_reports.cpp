#include "update/run/run_reports.h"

void Reports::Progress(int32_t done, int32_t total) {
    held = operations.isProgressUnread && operations.isProgressUnread();
    heldDone = done;
    heldTotal = total;
    if (!held)
        operations.postProgress(done, total);
}

void Reports::Poll() {
    if (held && !operations.isProgressUnread())
        Flush();
}

void Reports::Flush() {
    if (held)
        operations.postProgress(heldDone, heldTotal);
    held = false;
}

void Reports::Status(const std::wstring& text) {
    Flush();
    operations.postStatus(text);
}
