// make DIR [-o FILE [--sign KEYFILE [--sequence N]] [--gzip]]: the manifest of a served folder.
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "tools/filelist/block_map_files.h"
#include "tools/filelist/commands.h"
#include "tools/filelist/gzip_copy.h"
#include "tools/filelist/manifest_rules.h"
#include "update/list/manifest.h"

namespace {
const char kMakeUsage[] = "make takes DIR [-o FILE [--sign KEYFILE [--sequence N]] [--gzip]]";

// Whether `path` already holds exactly `bytes`: a map rewritten unchanged would get a new date
// and ETag, and every cache in front of the server would fetch it again.
bool HoldsBytes(const FileListOperations& operations, const std::string& path, const std::string& bytes) {
    uint64_t length = 0;
    std::string held;
    return operations.inspectPath(path, &length) == PathKind::kFile && length == bytes.size() &&
           operations.readFile(path, &held) && held == bytes;
}

struct MapToWrite {
    std::string path;
    std::string bytes;
};

}  // namespace

int RunMake(const std::vector<std::string>& args,
            const FileListOperations& operations,
            std::ostream& out,
            std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(args, {"-o", "--sign", "--sequence"}, {"--gzip"});
    if (!parsed.ok || parsed.positional.size() != 1 || (parsed.Has("--sign") && !parsed.Has("-o")) ||
        (parsed.Has("--sequence") && !parsed.Has("--sign")) || (parsed.Has("--gzip") && !parsed.Has("-o")))
        return ReportUsageError(kMakeUsage, err);
    uint64_t sequence = 0;
    if (parsed.Has("--sign") && !ReadSequenceOption(parsed, operations, &sequence))
        return ReportUsageError(kSequenceUsage, err);
    const bool gzip = parsed.Has("--gzip");
    const std::string& folder = parsed.positional[0];
    const bool hasOutput = parsed.Has("-o");
    const std::string outputPath = hasOutput ? parsed.options.at("-o") : std::string();
    const std::string keyPath = parsed.Has("--sign") ? parsed.options.at("--sign") : std::string();
    if (!RequireFolder(operations, folder, err))
        return kExitError;

    FolderWalk walk;
    if (!WalkFolder(operations, folder, &walk, err))
        return kExitError;

    std::vector<std::pair<std::string, std::string>> refusals;  // path, reason
    for (const std::string& other : walk.others)
        refusals.push_back({other, "not a regular file (a link to a folder, a device or a pipe)"});
    std::vector<WalkedFile> listed;
    std::map<std::string, std::string> pathOfFoldedPath;
    for (const WalkedFile& file : walk.files) {
        if (IsListFile(file.path) || IsBlockMapPath(file.path))
            continue;
        const std::string refusal = DescribeRefusedPath(file.path);
        if (!refusal.empty()) {
            refusals.push_back({file.path, refusal});
            continue;
        }
        const auto inserted = pathOfFoldedPath.emplace(FoldLetterCase(file.path), file.path);
        if (!inserted.second) {
            refusals.push_back({file.path, "differs from " + inserted.first->second +
                                               " only in letter case; on Windows both are one file"});
            continue;
        }
        listed.push_back(file);
    }
    if (!refusals.empty()) {
        std::sort(refusals.begin(), refusals.end());
        for (const auto& refusal : refusals)
            err << "refused: " << EscapeForDisplay(refusal.first) << ": " << refusal.second << "\n";
        err << "vardenhal-filelist: no manifest written, " << refusals.size() << " name(s) refused\n";
        return kExitFindings;
    }
    if (listed.empty()) {
        err << "vardenhal-filelist: no files below " << EscapeForDisplay(folder)
            << "; a launcher would report \"No files to download.\"\n";
        return kExitFindings;
    }

    uint64_t totalLength = 0;
    for (const WalkedFile& file : listed)
        totalLength += file.length;
    ProgressLine progress = StartProgress(operations, err, totalLength);
    std::vector<FileListEntry> entries;
    // Maps are kept up to date only beside a list that is written; they wait until everything
    // that can fail before the list is written has passed.
    const bool writesMaps = hasOutput;
    std::vector<MapToWrite> mapsToWrite;
    size_t unchangedMaps = 0;
    for (const WalkedFile& file : listed) {
        const std::string path = JoinPath(folder, file.path);
        std::string md5;
        BlockMap map;
        if (!writesMaps || !GetsBlockMap(file.length)) {
            md5 = ComputeMd5WithProgress(operations, path, &progress);
        } else if (MakeBlockMapOfFile(operations, path, file.length, &progress, &map)) {
            md5 = map.md5;
            MapToWrite made{path + kBlockMapSuffix, FormatBlockMap(map)};
            if (HoldsBytes(operations, made.path, made.bytes))
                ++unchangedMaps;
            else
                mapsToWrite.push_back(std::move(made));
        }
        if (md5.empty()) {
            ClearProgress(&progress);
            err << "vardenhal-filelist: cannot read " << EscapeForDisplay(file.path) << "\n";
            return kExitError;
        }
        entries.push_back({file.path, md5});
    }
    ClearProgress(&progress);

    const std::string manifest = FormatManifest(entries);
    // Signed and compressed before anything is written, so a failure leaves the old files in place.
    std::string signatureFile;
    if (!keyPath.empty() && !SignBytes(operations, keyPath, sequence, manifest, &signatureFile, err))
        return kExitError;
    std::string compressed;
    if (gzip && !GzipBytes(manifest, &compressed)) {
        err << "vardenhal-filelist: cannot compress the manifest\n";
        return kExitError;
    }
    for (const MapToWrite& map : mapsToWrite) {
        if (!operations.replaceFile(map.path, map.bytes)) {
            err << "vardenhal-filelist: cannot write " << EscapeForDisplay(map.path) << "\n";
            return kExitError;
        }
    }
    if (!hasOutput) {
        out << manifest << std::flush;
        if (!out) {
            err << "vardenhal-filelist: cannot write to standard output\n";
            return kExitError;
        }
    } else if (!operations.replaceFile(outputPath, manifest)) {
        err << "vardenhal-filelist: cannot write " << EscapeForDisplay(outputPath) << "\n";
        return kExitError;
    }
    if (gzip && !operations.replaceFile(outputPath + kGzipSuffix, compressed)) {
        err << "vardenhal-filelist: cannot write " << EscapeForDisplay(outputPath + kGzipSuffix) << "\n";
        return kExitError;
    }
    if (!keyPath.empty() && !WriteSignatureFile(operations, outputPath, signatureFile, err))
        return kExitError;
    err << "listed " << entries.size() << " file(s), " << totalLength << " bytes\n";
    if (!mapsToWrite.empty() || unchangedMaps > 0)
        err << "block maps: " << mapsToWrite.size() << " written, " << unchangedMaps << " unchanged\n";
    std::set<std::string> listedPaths;
    for (const FileListEntry& entry : entries)
        listedPaths.insert(entry.path);
    for (const UnusedBlockMap& unused : FindUnusedBlockMaps(walk.files, listedPaths))
        err << "not used: " << EscapeForDisplay(unused.path) << ": " << unused.reason << "; delete it\n";
    return kExitClean;
}
