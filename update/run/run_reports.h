// What an update run tells the window, in the order it tells it.
#pragma once

#include <cstdint>
#include <string>

#include "update/run/update_operations.h"

// Reports to the window. Progress may wait while the window has not read the last report; what
// waits goes out before any status text or finish, so the window's figures are exact then.
struct Reports {
    const UpdateOperations& operations;
    bool held = false;
    int32_t heldDone = 0;
    int32_t heldTotal = 0;

    void Progress(int32_t done, int32_t total);
    // Sends a figure held back once the window has read the last one.
    void Poll();
    // Sends a figure held back, if any.
    void Flush();
    void Status(const std::wstring& text);
};
