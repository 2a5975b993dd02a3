// What an update run learns of the local file at a listed path before it decides about it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

// Its digest, or "" when it could not be read. `inUse` tells that another program holds it, so
// that neither reading nor replacing it can work now.
struct FileDigest {
    FileDigest(std::string digest = std::string(), bool inUse = false) : digest(std::move(digest)), inUse(inUse) {}
    std::string digest;
    bool inUse;
    bool recorded = false;  // taken from the record of an earlier run, not read
    uint64_t readAt = 0;    // when reading began (a file time), 0 when unknown
};

// What ends a digest at its next block: the run no longer needing it, or the player's CANCEL.
// Either may be null.
struct DigestStop {
    const std::atomic<bool>* run = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool IsSet() const {
        return (run && run->load(std::memory_order_relaxed)) || (cancel && cancel->load(std::memory_order_relaxed));
    }
};
