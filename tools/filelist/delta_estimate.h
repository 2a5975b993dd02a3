// plan's estimate of what a launcher moves to patch a player's file through the served block map.
#pragma once

#include <cstdint>
#include <string>

#include "tools/filelist/commands.h"

// The bytes a launcher would fetch to turn the client's file into the served one: the map beside
// the served file and the spans of the new version that the client's file does not hold. False
// when it would fetch the file whole: the client's file is under kBlockMapFromBytes or cannot be
// read, or the map is missing, damaged or names another digest than `listedMd5`.
bool EstimateDeltaBytes(const FileListOperations& operations,
                        const std::string& servedPath,
                        uint64_t servedLength,
                        const std::string& listedMd5,
                        const std::string& clientPath,
                        uint64_t clientLength,
                        ProgressLine* progress,
                        uint64_t* bytes);
