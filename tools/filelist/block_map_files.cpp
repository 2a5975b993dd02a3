#include "tools/filelist/block_map_files.h"

#include <cstring>
#include <map>

#include "tools/filelist/manifest_rules.h"

bool IsBlockMapPath(const std::string& path) {
    const size_t suffixLength = std::strlen(kBlockMapSuffix);
    return path.size() >= suffixLength && path.compare(path.size() - suffixLength, suffixLength, kBlockMapSuffix) == 0;
}

bool GetsBlockMap(uint64_t fileLength) {
    return fileLength >= kBlockMapFromBytes;
}

bool MakeBlockMapOfFile(const FileListOperations& operations,
                        const std::string& path,
                        uint64_t fileLength,
                        ProgressLine* progress,
                        BlockMap* map) {
    BlockMapMaker maker(fileLength);
    const bool read = operations.streamFile(path, [&maker, progress](const uint8_t* bytes, size_t length) {
        maker.Feed(bytes, length);
        AdvanceProgress(progress, length);
    });
    return read && maker.Finish(map);
}

BlockMapRead ReadBlockMapFile(const FileListOperations& operations,
                              const std::string& mapPath,
                              uint64_t fileLength,
                              std::string* text) {
    uint64_t length = 0;
    const PathKind kind = operations.inspectPath(mapPath, &length);
    if (kind == PathKind::kMissing)
        return BlockMapRead::kMissing;
    if (kind != PathKind::kFile || length > MostBlockMapBytes(fileLength) || !operations.readFile(mapPath, text))
        return BlockMapRead::kRefused;
    return BlockMapRead::kRead;
}

std::vector<UnusedBlockMap> FindUnusedBlockMaps(const std::vector<WalkedFile>& files,
                                                const std::set<std::string>& listedPaths) {
    std::map<std::string, uint64_t> lengthOfPath;
    for (const WalkedFile& file : files)
        lengthOfPath[file.path] = file.length;
    std::vector<UnusedBlockMap> unused;
    for (const WalkedFile& file : files) {
        if (!IsBlockMapPath(file.path) || listedPaths.count(file.path) != 0)
            continue;
        const std::string listed = file.path.substr(0, file.path.size() - std::strlen(kBlockMapSuffix));
        const auto found = lengthOfPath.find(listed);
        if (listedPaths.count(listed) == 0)
            unused.push_back({file.path, EscapeForDisplay(listed) + " is not listed"});
        else if (found != lengthOfPath.end() && !GetsBlockMap(found->second))
            unused.push_back({file.path, EscapeForDisplay(listed) + " is under 1 MiB"});
    }
    return unused;
}
