// What an update run tells the window, in the order it tells it.
#pragma once

#include <cstdint>
#include <string>

#include "update/run/update_operations.h"

// Reports to the window, at most one of each kind per animation tick: while the window has not
// read the last report, a new figure or text waits, and a later one takes its place. What waits
// goes out once the window has read, figure first, and always before the run's last text, so the
// window's figures are exact then.
struct Reports {
    const UpdateOperations& operations;
    bool held = false;
    int32_t heldDone = 0;
    int32_t heldTotal = 0;
    bool textHeld = false;
    std::wstring heldText;

    void Progress(int32_t done, int32_t total);
    // Sends what waits once the window has read the last report.
    void Poll();
    // Sends what waits, if anything.
    void Flush();
    // A text along the way: it may wait, and a later text replaces it.
    void Status(const std::wstring& text);
    // The run's first or last text: never held back, and nothing waiting is lost before it.
    void StatusNow(const std::wstring& text);

private:
    bool IsUnread() const;
};
