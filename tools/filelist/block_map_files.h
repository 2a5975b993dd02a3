// The block maps beside the large files of a served folder ("<path>.blockmap"): which files get
// one, making one in the read that also gives the file's digest, reading one back as a launcher
// would, and the maps that no launcher asks for.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tools/filelist/commands.h"
#include "update/delta/block_map.h"

bool IsBlockMapPath(const std::string& path);
bool GetsBlockMap(uint64_t fileLength);

// The file's map from one read front to back; its md5 is the file's digest. False when the file
// cannot be read or no longer holds `fileLength` bytes.
bool MakeBlockMapOfFile(const FileListOperations& operations,
                        const std::string& path,
                        uint64_t fileLength,
                        ProgressLine* progress,
                        BlockMap* map);

// A map's text, as a launcher takes it for a file of `fileLength` bytes: a map longer than such
// a file's may be, or anything but a regular file, is refused unread.
enum class BlockMapRead { kMissing, kRefused, kRead };
BlockMapRead ReadBlockMapFile(const FileListOperations& operations,
                              const std::string& mapPath,
                              uint64_t fileLength,
                              std::string* text);

// Maps below a served folder beside a file that is not listed or is under kBlockMapFromBytes,
// with why. A listed map is a listed file like any other; one beside a listed file missing from
// the folder is left to that file's own finding.
struct UnusedBlockMap {
    std::string path;
    std::string reason;
};
std::vector<UnusedBlockMap> FindUnusedBlockMaps(const std::vector<WalkedFile>& files,
                                                const std::set<std::string>& listedPaths);
