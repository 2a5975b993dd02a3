#include "update/run/run_reports.h"

bool Reports::IsUnread() const {
    return operations.isProgressUnread && operations.isProgressUnread();
}

void Reports::Progress(int32_t done, int32_t total) {
    held = true;
    heldDone = done;
    heldTotal = total;
    // A text that waits goes out with the figure: a figure that grows at every tick must not
    // keep it back for good.
    if (!IsUnread())
        Flush();
}

void Reports::Poll() {
    if ((held || textHeld) && !IsUnread())
        Flush();
}

void Reports::Flush() {
    if (held)
        operations.postProgress(heldDone, heldTotal);
    held = false;
    if (textHeld)
        operations.postStatus(heldText);
    textHeld = false;
}

void Reports::Status(const std::wstring& text) {
    if (IsUnread()) {
        textHeld = true;
        heldText = text;
        return;
    }
    Flush();
    operations.postStatus(text);
}

void Reports::StatusNow(const std::wstring& text) {
    if (held)
        operations.postProgress(heldDone, heldTotal);
    held = false;
    textHeld = false;
    operations.postStatus(text);
}
