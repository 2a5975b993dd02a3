#include "tools/filelist/delta_estimate.h"

#include <vector>

#include "tools/filelist/block_map_files.h"
#include "tools/filelist/manifest_rules.h"
#include "update/delta/block_search.h"

bool EstimateDeltaBytes(const FileListOperations& operations,
                        const std::string& servedPath,
                        uint64_t servedLength,
                        const std::string& listedMd5,
                        const std::string& clientPath,
                        uint64_t clientLength,
                        ProgressLine* progress,
                        uint64_t* bytes) {
    if (!GetsBlockMap(clientLength))
        return false;
    std::string text;
    BlockMap map;
    if (ReadBlockMapFile(operations, servedPath + kBlockMapSuffix, servedLength, &text) != BlockMapRead::kRead ||
        !ParseBlockMap(text, &map) || map.md5 != FoldLetterCase(listedMd5))
        return false;
    // The search reads the client's file once more, so the progress line counts it again.
    progress->total += clientLength;
    BlockSearchIo io;
    io.read = [&operations, &clientPath, progress](uint64_t offset, uint8_t* into, size_t length) {
        const size_t read = operations.readFileAt(clientPath, offset, into, length);
        AdvanceProgress(progress, read);
        return read;
    };
    io.onHeld = [](size_t, const uint8_t*, size_t) { return true; };
    std::vector<int64_t> sources;
    if (!SearchHeldBlocks(map, clientLength, io, &sources))
        return false;
    *bytes = text.size() + SpanBytes(MissingSpans(map, sources));
    return true;
}
