// check MANIFEST [DIR] [--public-key KEY]: what a launcher would meet in a manifest.
#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "tools/filelist/block_map_files.h"
#include "tools/filelist/commands.h"
#include "tools/filelist/manifest_rules.h"
#include "update/list/manifest_signature.h"

namespace {

// Why a signed launcher would refuse MANIFEST; empty when it would take it, with the sequence
// it would read.
std::string DescribeSignature(const FileListOperations& operations,
                              const std::string& manifestPath,
                              const std::string& manifest,
                              const std::string& point,
                              uint64_t* sequence) {
    const std::string path = manifestPath + kSignatureSuffix;
    std::string text;
    std::string signature;
    if (!ReadRegularFile(operations, path, &text))
        return "no signature file " + EscapeForDisplay(path) + "; a signed launcher would refuse this manifest";
    if (!ParseSignatureFile(text, &signature, sequence))
        return "the signature file " + EscapeForDisplay(path) +
               " is damaged: it must be the lines \"sequence N\" and \"signature BASE64\"; sign it again";
    if (!operations.verify(point, SignedListBytes(*sequence, manifest), signature))
        return "the signature in " + EscapeForDisplay(path) +
               " was not made over this manifest with this key; sign it again";
    return std::string();
}

std::string FormatFinding(const std::string& manifestPath, const ManifestFinding& finding) {
    std::string text = EscapeForDisplay(manifestPath);
    if (finding.lineNumber > 0)
        text += ":" + std::to_string(finding.lineNumber);
    text += ": ";
    if (!finding.path.empty())
        text += EscapeForDisplay(finding.path) + ": ";
    return text + finding.message;
}

// Empty when the map beside a listed file is the one make would write for it now (`made`);
// otherwise what is wrong with it.
std::string DescribeBlockMap(const FileListOperations& operations,
                             const std::string& path,
                             uint64_t length,
                             const std::string& listedMd5,
                             const BlockMap& made) {
    const char kRemedy[] = "; make with -o writes it again";
    std::string text;
    const BlockMapRead read = ReadBlockMapFile(operations, path + kBlockMapSuffix, length, &text);
    if (read == BlockMapRead::kMissing)
        return std::string("no block map beside it, so launchers download it whole") + kRemedy;
    BlockMap map;
    if (read == BlockMapRead::kRefused || !ParseBlockMap(text, &map))
        return std::string("block map damaged, so launchers download it whole") + kRemedy;
    // The digest in either letter case is what a launcher checks the patched file against.
    if (map.md5 != FoldLetterCase(listedMd5))
        return "block map stale: it names " + map.md5 + ", the manifest says " + EscapeForDisplay(listedMd5) + kRemedy;
    if (text != FormatBlockMap(made))
        return std::string("block map differs from the file's") + kRemedy;
    return std::string();
}

// Files the manifest lists that the folder lacks or holds with other contents, and files it holds
// that the manifest does not list; the block maps of the listed files, and maps no launcher uses.
bool CompareWithFolder(const FileListOperations& operations,
                       const std::string& folder,
                       const ManifestLint& lint,
                       std::vector<ManifestFinding>* findings,
                       std::ostream& err) {
    FolderWalk walk;
    if (!WalkFolder(operations, folder, &walk, err))
        return false;

    std::vector<std::pair<const ListedEntry*, uint64_t>> toHash;  // with its length
    uint64_t totalLength = 0;
    std::set<std::string> listedPaths;
    for (const ListedEntry& listed : lint.entries) {
        const FileListEntry& entry = listed.entry;
        listedPaths.insert(entry.path);
        // Refused paths are findings already, and some of them would not even stay inside the folder.
        if (!DescribeRefusedPath(entry.path).empty())
            continue;
        uint64_t length = 0;
        const PathKind kind = operations.inspectPath(JoinPath(folder, entry.path), &length);
        if (kind == PathKind::kMissing) {
            findings->push_back({listed.lineNumber, entry.path, "listed but missing from the folder"});
        } else if (kind != PathKind::kFile) {
            findings->push_back({listed.lineNumber, entry.path, "listed but not a file in the folder"});
        } else {
            toHash.push_back({&listed, length});
            totalLength += length;
        }
    }

    ProgressLine progress = StartProgress(operations, err, totalLength);
    for (const auto& hashed : toHash) {
        const ListedEntry* listed = hashed.first;
        const FileListEntry& entry = listed->entry;
        const std::string path = JoinPath(folder, entry.path);
        const bool mapped = GetsBlockMap(hashed.second);
        // A large file's map is rebuilt in the read that checks its digest.
        BlockMap made;
        std::string actual;
        if (!mapped)
            actual = ComputeMd5WithProgress(operations, path, &progress);
        else if (MakeBlockMapOfFile(operations, path, hashed.second, &progress, &made))
            actual = made.md5;
        if (actual.empty()) {
            findings->push_back({listed->lineNumber, entry.path, "cannot be read from the folder"});
        } else if (actual != entry.md5 && actual != FoldLetterCase(entry.md5)) {
            // An upper-case copy of the right digest is reported once, as a malformed digest.
            findings->push_back(
                {listed->lineNumber, entry.path,
                 "digest mismatch: the manifest says " + EscapeForDisplay(entry.md5) + ", the file has " + actual});
        }
        if (mapped && !actual.empty()) {
            const std::string problem = DescribeBlockMap(operations, path, hashed.second, entry.md5, made);
            if (!problem.empty())
                findings->push_back({listed->lineNumber, entry.path, problem});
        }
    }
    ClearProgress(&progress);

    for (const WalkedFile& file : walk.files) {
        if (!IsListFile(file.path) && !IsBlockMapPath(file.path) && listedPaths.count(file.path) == 0)
            findings->push_back({0, file.path, "present in the folder but not listed"});
    }
    for (const UnusedBlockMap& unused : FindUnusedBlockMaps(walk.files, listedPaths))
        findings->push_back({0, unused.path, "block map not used: " + unused.reason});
    return true;
}

}  // namespace

int RunCheck(const std::vector<std::string>& args,
             const FileListOperations& operations,
             std::ostream& out,
             std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(args, {"--public-key"});
    const std::vector<std::string>& positional = parsed.positional;
    if (!parsed.ok || positional.empty() || positional.size() > 2)
        return ReportUsageError("check takes MANIFEST [DIR] [--public-key KEY]", err);
    const bool hasKey = parsed.Has("--public-key");
    std::string point;
    if (hasKey && !ParseManifestPublicKey(parsed.options.at("--public-key"), &point))
        return ReportUsageError("--public-key takes the public key that keygen printed", err);
    const std::string& manifestPath = positional[0];
    std::string text;
    if (!ReadManifest(operations, manifestPath, &text, err))
        return kExitError;

    const ManifestLint lint = LintManifest(text);
    std::vector<ManifestFinding> findings = lint.findings;
    if (lint.entries.empty())
        findings.push_back({0, "", "no entries; a launcher would report \"No files to download.\""});
    if (positional.size() == 2) {
        if (!RequireFolder(operations, positional[1], err) ||
            !CompareWithFolder(operations, positional[1], lint, &findings, err))
            return kExitError;
    }
    uint64_t sequence = 0;
    bool signedWell = false;
    if (hasKey) {
        const std::string problem = DescribeSignature(operations, manifestPath, text, point, &sequence);
        signedWell = problem.empty();
        if (!signedWell)
            findings.push_back({0, "", problem});
    }

    // Line by line, then what belongs to no line.
    std::stable_sort(findings.begin(), findings.end(), [](const ManifestFinding& a, const ManifestFinding& b) {
        const size_t lineA = a.lineNumber == 0 ? SIZE_MAX : a.lineNumber;
        const size_t lineB = b.lineNumber == 0 ? SIZE_MAX : b.lineNumber;
        return lineA < lineB;
    });
    for (const ManifestFinding& finding : findings)
        out << FormatFinding(manifestPath, finding) << "\n";
    if (signedWell)
        out << EscapeForDisplay(manifestPath) << ": signed, sequence " << sequence << "\n";
    if (findings.empty())
        out << EscapeForDisplay(manifestPath) << ": " << lint.entries.size() << " entries, no problems\n";
    else
        out << EscapeForDisplay(manifestPath) << ": " << findings.size() << " problem(s)\n";
    return findings.empty() ? kExitClean : kExitFindings;
}
