// Waiting for a file that another program holds: a virus scanner or an indexer often lets go
// within moments.
#pragma once

#include <windows.h>

#include <cstdint>

// Opening or replacing a held file is tried again this often, for this long, before it counts as
// in use.
constexpr uint32_t kHeldFileRetryMs = 100;
constexpr uint32_t kHeldFileWaitMs = 2000;

// Runs `attempt` (which returns ERROR_SUCCESS, or the error it met) until it succeeds, fails for
// a cause `isHeld` does not take for another program holding the file, `isHeld` says to stop, or
// kHeldFileWaitMs have passed, trying again every kHeldFileRetryMs. Returns the last error.
template <typename Attempt, typename IsHeld>
DWORD RetryWhileHeld(Attempt attempt, IsHeld isHeld) {
    const ULONGLONG end = GetTickCount64() + kHeldFileWaitMs;
    for (;;) {
        const DWORD error = attempt();
        if (error == ERROR_SUCCESS || !isHeld(error) || GetTickCount64() >= end)
            return error;
        Sleep(kHeldFileRetryMs);
    }
}
