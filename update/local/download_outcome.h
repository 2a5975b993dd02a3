// How one file's download ended, as the update run sees it, and what it has of the file while
// under way.
#pragma once

#include <atomic>
#include <cstdint>

enum class DownloadOutcome {
    kStored,        // the file is in place
    kFetched,       // its temporary file holds the whole body with the listed digest, ready to go in place
    kFailedForNow,  // a fault that may pass: no connection, a 5xx, a body cut short or too slow
    kFailed,        // anything else from the server: a 4xx, a body whose digest is not the listed one
    kCancelled,     // CANCEL (or the run) stopped the transfer; what arrived may stay for the next run
    kNoRoom,        // the volume has not the room the file needs
    kInUse,         // another program holds the target
    kCannotWrite,   // the target is read-only, a folder stands in its place, or a parent is a file
};

// What a fetch under way has of its file, for the bar to move with the bytes.
struct FetchProgress {
    std::atomic<int64_t> received{0};  // bytes in its temporary file, a part kept before included
    std::atomic<int64_t> length{-1};   // the whole file's length, once an answer named it
};
