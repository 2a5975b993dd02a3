// What an update run learns of the local file at a listed path before it decides about it.
#pragma once

#include <string>
#include <utility>

// Its digest, or "" when it could not be read. `inUse` tells that another program holds it, so
// that neither reading nor replacing it can work now.
struct FileDigest {
    FileDigest(std::string digest = std::string(), bool inUse = false) : digest(std::move(digest)), inUse(inUse) {}
    std::string digest;
    bool inUse;
};
