#include "tools/filelist/file_list_tool.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "tools/filelist/manifest_rules.h"
#include "update/entry_paths.h"
#include "update/manifest.h"
#include "update/manifest_signature.h"

const char kManifestName[] = "filelist.txt";
const char kSignatureSuffix[] = ".sig";

namespace {

const char kHelpText[] =
    "usage: vardenhal-filelist COMMAND ARGUMENTS\n"
    "\n"
    "Makes and checks filelist.txt, the update manifest that the Vardenhal launcher fetches from\n"
    "<server root>/updater/filelist.txt before it fetches the files below <server root>/updater/.\n"
    "\n"
    "commands:\n"
    "  make DIR [-o FILE [--sign KEYFILE]]\n"
    "      Lists every file below DIR, the folder served as /updater/, as one \"path|md5\" line\n"
    "      each: paths relative to DIR with forward slashes, sorted, digests as 32 lower-case hex\n"
    "      digits, LF line ends, no byte-order mark. DIR/filelist.txt and its .sig are skipped.\n"
    "      Writes to standard output, or to FILE (written beside it, then renamed over it).\n"
    "      Refuses names a launcher would refuse or mangle, naming each, and then writes nothing:\n"
    "      '|', '\\', control characters, bytes above 0x7F, characters Windows forbids, names\n"
    "      ending in a space or a dot, ':', device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with\n"
    "      or without an extension), names that differ only in letter case, and anything that is\n"
    "      not a regular file. With --sign, also signs FILE as the sign command does.\n"
    "  keygen KEYFILE\n"
    "      Makes an update list signing key: writes the private key to KEYFILE (readable by its\n"
    "      owner only; an existing file is never overwritten) and prints the public key, the value\n"
    "      for -DVARDENHAL_MANIFEST_PUBLIC_KEY when building the launcher. Keep KEYFILE off the\n"
    "      update server: whoever holds it can sign lists that every launcher built with the\n"
    "      public key will trust.\n"
    "  sign MANIFEST -k KEYFILE\n"
    "      Writes MANIFEST.sig: one line, the base64 of the ECDSA P-256 signature (r then s, 32\n"
    "      bytes each) over SHA-256 of MANIFEST's exact bytes. Serve it beside the manifest; sign\n"
    "      again after every change to the manifest.\n"
    "  check MANIFEST [DIR] [--public-key KEY]\n"
    "      Reports, line by line, every problem a launcher would meet in MANIFEST: lines without\n"
    "      a '|' separator, digests that are not 32 lower-case hex digits (downloaded on every\n"
    "      run), spaces around a path or digest, carriage returns that do not end a line, a\n"
    "      byte-order mark, paths listed twice, refused paths. With DIR, the served folder, also\n"
    "      files listed but missing, digests that do not match the file, and files present but\n"
    "      not listed. With --public-key, also that MANIFEST.sig signs MANIFEST for KEY.\n"
    "  plan MANIFEST CLIENT_DIR\n"
    "      Shows what a launcher in the game client folder CLIENT_DIR would download, in\n"
    "      manifest order, and how many bytes, without downloading anything. Sizes are those of\n"
    "      the files beside MANIFEST, so keep it in the served folder. Says where the launcher's\n"
    "      run would stop early.\n"
    "  --help\n"
    "      Shows this text.\n"
    "\n"
    "A progress line appears on standard error during long runs when it is a terminal.\n"
    "\n"
    "exit status:\n"
    "  0  make: manifest written; check: no problem found; plan: the run would complete\n"
    "  1  make: names refused or no file found; check: problems found; plan: the run would stop\n"
    "  2  wrong arguments, a key that cannot be used, or a file or folder that cannot be read or\n"
    "     written\n";

const auto kProgressDelay = std::chrono::seconds(1);
const auto kProgressInterval = std::chrono::milliseconds(250);
const uint64_t kMebibyte = 1024 * 1024;

// Drawn only when standard error is a terminal and the run has taken a while already, so short
// runs and redirected output stay clean.
struct ProgressLine {
    bool enabled = false;
    std::ostream* err = nullptr;
    uint64_t total = 0;
    uint64_t done = 0;
    size_t drawnLength = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn;
};

void AdvanceProgress(ProgressLine* progress, uint64_t bytes) {
    progress->done += bytes;
    if (!progress->enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - progress->start < kProgressDelay)
        return;
    if (progress->drawnLength > 0 && now - progress->lastDrawn < kProgressInterval)
        return;
    const std::string text = "hashing: " + FormatProgress(progress->done, progress->total);
    *progress->err << '\r' << text << std::string(progress->drawnLength > text.size() ? 1 : 0, ' ') << std::flush;
    progress->drawnLength = std::max(progress->drawnLength, text.size() + 1);
    progress->lastDrawn = now;
}

void ClearProgress(ProgressLine* progress) {
    if (progress->drawnLength > 0)
        *progress->err << '\r' << std::string(progress->drawnLength, ' ') << '\r' << std::flush;
    progress->drawnLength = 0;
}

ProgressLine StartProgress(const FileListOperations& operations, std::ostream& err, uint64_t total) {
    ProgressLine progress;
    progress.enabled = operations.errorIsTerminal;
    progress.err = &err;
    progress.total = total;
    return progress;
}

std::string ComputeMd5WithProgress(const FileListOperations& operations,
                                   const std::string& path,
                                   ProgressLine* progress) {
    return operations.computeFileMd5(path, [progress](uint64_t bytes) { AdvanceProgress(progress, bytes); });
}

std::string JoinPath(const std::string& folder, const std::string& relative) {
    if (folder.empty())
        return relative;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + relative : folder + "/" + relative;
}

std::string ParentFolder(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos)
        return ".";
    return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

// The manifest and its signature sit in the served folder but are not among its files.
bool IsListFile(const std::string& path) {
    return path == kManifestName || path == std::string(kManifestName) + kSignatureSuffix;
}

struct WalkedFile {
    std::string path;  // relative, '/' between names
    uint64_t length = 0;
};

struct FolderWalk {
    std::vector<WalkedFile> files;
    std::vector<std::string> others;  // neither file nor folder: links to folders, devices, pipes
};

// Every file below `root`, depth first. Fails on the first folder that cannot be read, naming it.
bool WalkFolder(const FileListOperations& operations, const std::string& root, FolderWalk* walk, std::ostream& err) {
    std::vector<std::string> pending = {""};
    while (!pending.empty()) {
        const std::string relative = pending.back();
        pending.pop_back();
        const std::string folder = relative.empty() ? root : JoinPath(root, relative);
        std::vector<FolderItem> items;
        if (!operations.readFolder(folder, &items)) {
            err << "vardenhal-filelist: cannot read the folder " << EscapeForDisplay(folder) << "\n";
            return false;
        }
        for (const FolderItem& item : items) {
            const std::string path = relative.empty() ? item.name : relative + "/" + item.name;
            if (item.kind == PathKind::kFolder)
                pending.push_back(path);
            else if (item.kind == PathKind::kFile)
                walk->files.push_back({path, item.length});
            else
                walk->others.push_back(path);
        }
    }
    return true;
}

bool RequireFolder(const FileListOperations& operations, const std::string& folder, std::ostream& err) {
    uint64_t length = 0;
    if (operations.inspectPath(folder, &length) == PathKind::kFolder)
        return true;
    err << "vardenhal-filelist: not a folder: " << EscapeForDisplay(folder) << "\n";
    return false;
}

// A whole regular file: a folder or a device at the path is no file to read.
bool ReadRegularFile(const FileListOperations& operations, const std::string& path, std::string* text) {
    uint64_t length = 0;
    return operations.inspectPath(path, &length) == PathKind::kFile && operations.readFile(path, text);
}

bool ReadManifest(const FileListOperations& operations, const std::string& path, std::string* text, std::ostream& err) {
    if (ReadRegularFile(operations, path, text))
        return true;
    err << "vardenhal-filelist: cannot read the manifest " << EscapeForDisplay(path) << "\n";
    return false;
}

int ReportUsageError(const std::string& message, std::ostream& err) {
    err << "vardenhal-filelist: " << message << "\nTry 'vardenhal-filelist --help'.\n";
    return kExitError;
}

const char kMakeUsage[] = "make takes DIR [-o FILE [--sign KEYFILE]]";

// The signature file's text for `bytes`, signed with the key in `keyPath`.
bool SignBytes(const FileListOperations& operations,
               const std::string& keyPath,
               const std::string& bytes,
               std::string* signatureFile,
               std::ostream& err) {
    std::string keyFile;
    if (!ReadRegularFile(operations, keyPath, &keyFile)) {
        err << "vardenhal-filelist: cannot read the key file " << EscapeForDisplay(keyPath) << "\n";
        return false;
    }
    std::string signature;
    if (!operations.sign(keyFile, bytes, &signature)) {
        err << "vardenhal-filelist: " << EscapeForDisplay(keyPath) << " holds no ECDSA P-256 private key\n";
        return false;
    }
    *signatureFile = FormatSignatureFile(signature);
    return true;
}

bool WriteSignatureFile(const FileListOperations& operations,
                        const std::string& manifestPath,
                        const std::string& signatureFile,
                        std::ostream& err) {
    const std::string path = manifestPath + kSignatureSuffix;
    if (operations.replaceFile(path, signatureFile))
        return true;
    err << "vardenhal-filelist: cannot write " << EscapeForDisplay(path) << "\n";
    return false;
}

int RunKeygen(const std::vector<std::string>& args,
              const FileListOperations& operations,
              std::ostream& out,
              std::ostream& err) {
    if (args.size() != 2 || args[1].empty())
        return ReportUsageError("keygen takes KEYFILE", err);
    std::string keyFile;
    std::string point;
    if (!operations.generateKey(&keyFile, &point)) {
        err << "vardenhal-filelist: cannot make a key\n";
        return kExitError;
    }
    if (!operations.createPrivateFile(args[1], keyFile)) {
        err << "vardenhal-filelist: cannot create " << EscapeForDisplay(args[1])
            << " (an existing file is never overwritten)\n";
        return kExitError;
    }
    out << FormatManifestPublicKey(point) << "\n";
    err << "private key written to " << EscapeForDisplay(args[1]) << "; keep it off the update server\n"
        << "build the launcher with -DVARDENHAL_MANIFEST_PUBLIC_KEY= and the public key above\n";
    return kExitClean;
}

int RunSign(const std::vector<std::string>& args, const FileListOperations& operations, std::ostream& err) {
    if (args.size() != 4 || args[2] != "-k" || args[1].empty() || args[3].empty())
        return ReportUsageError("sign takes MANIFEST -k KEYFILE", err);
    std::string manifest;
    std::string signatureFile;
    if (!ReadManifest(operations, args[1], &manifest, err) ||
        !SignBytes(operations, args[3], manifest, &signatureFile, err) ||
        !WriteSignatureFile(operations, args[1], signatureFile, err))
        return kExitError;
    err << "signed " << EscapeForDisplay(args[1]) << ": " << EscapeForDisplay(args[1] + kSignatureSuffix) << "\n";
    return kExitClean;
}

// Why a signed launcher would refuse MANIFEST; empty when it would take it.
std::string DescribeSignature(const FileListOperations& operations,
                              const std::string& manifestPath,
                              const std::string& manifest,
                              const std::string& point) {
    const std::string path = manifestPath + kSignatureSuffix;
    std::string text;
    std::string signature;
    if (!ReadRegularFile(operations, path, &text))
        return "no signature file " + EscapeForDisplay(path) + "; a signed launcher would refuse this manifest";
    if (!ParseSignatureFile(text, &signature))
        return "the signature file " + EscapeForDisplay(path) +
               " is damaged: it must be one line of base64 holding 64 bytes";
    if (!operations.verify(point, manifest, signature))
        return "the signature in " + EscapeForDisplay(path) +
               " was not made over this manifest with this key; sign it again";
    return std::string();
}

int RunMake(const std::vector<std::string>& args,
            const FileListOperations& operations,
            std::ostream& out,
            std::ostream& err) {
    std::string folder;
    std::string outputPath;
    bool hasOutput = false;
    std::string keyPath;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && !hasOutput) {
            outputPath = args[++i];
            hasOutput = true;
        } else if (args[i] == "--sign" && i + 1 < args.size() && keyPath.empty() && !args[i + 1].empty()) {
            keyPath = args[++i];
        } else if (folder.empty() && !args[i].empty() && args[i] != "-o" && args[i] != "--sign") {
            folder = args[i];
        } else {
            return ReportUsageError(kMakeUsage, err);
        }
    }
    if (folder.empty() || (!keyPath.empty() && !hasOutput))
        return ReportUsageError(kMakeUsage, err);
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
        if (IsListFile(file.path))
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
    for (const WalkedFile& file : listed) {
        const std::string md5 = ComputeMd5WithProgress(operations, JoinPath(folder, file.path), &progress);
        if (md5.empty()) {
            ClearProgress(&progress);
            err << "vardenhal-filelist: cannot read " << EscapeForDisplay(file.path) << "\n";
            return kExitError;
        }
        entries.push_back({file.path, md5});
    }
    ClearProgress(&progress);

    const std::string manifest = FormatManifest(entries);
    // Signed before anything is written, so a key that cannot sign leaves the old pair in place.
    std::string signatureFile;
    if (!keyPath.empty() && !SignBytes(operations, keyPath, manifest, &signatureFile, err))
        return kExitError;
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
    if (!keyPath.empty() && !WriteSignatureFile(operations, outputPath, signatureFile, err))
        return kExitError;
    err << "listed " << entries.size() << " file(s), " << totalLength << " bytes\n";
    return kExitClean;
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

// Files the manifest lists that the folder lacks or holds with other contents, and files it holds
// that the manifest does not list.
bool CompareWithFolder(const FileListOperations& operations,
                       const std::string& folder,
                       const ManifestLint& lint,
                       std::vector<ManifestFinding>* findings,
                       std::ostream& err) {
    FolderWalk walk;
    if (!WalkFolder(operations, folder, &walk, err))
        return false;

    std::vector<const ListedEntry*> toHash;
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
            toHash.push_back(&listed);
            totalLength += length;
        }
    }

    ProgressLine progress = StartProgress(operations, err, totalLength);
    for (const ListedEntry* listed : toHash) {
        const FileListEntry& entry = listed->entry;
        const std::string actual = ComputeMd5WithProgress(operations, JoinPath(folder, entry.path), &progress);
        if (actual.empty()) {
            findings->push_back({listed->lineNumber, entry.path, "cannot be read from the folder"});
        } else if (actual != entry.md5 && actual != FoldLetterCase(entry.md5)) {
            // An upper-case copy of the right digest is reported once, as a malformed digest.
            findings->push_back(
                {listed->lineNumber, entry.path,
                 "digest mismatch: the manifest says " + EscapeForDisplay(entry.md5) + ", the file has " + actual});
        }
    }
    ClearProgress(&progress);

    for (const WalkedFile& file : walk.files) {
        if (!IsListFile(file.path) && listedPaths.count(file.path) == 0)
            findings->push_back({0, file.path, "present in the folder but not listed"});
    }
    return true;
}

int RunCheck(const std::vector<std::string>& args,
             const FileListOperations& operations,
             std::ostream& out,
             std::ostream& err) {
    std::vector<std::string> positional;
    std::string point;
    bool hasKey = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--public-key" && i + 1 < args.size() && !hasKey) {
            hasKey = true;
            if (!ParseManifestPublicKey(args[++i], &point))
                return ReportUsageError("--public-key takes the public key that keygen printed", err);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2)
        return ReportUsageError("check takes MANIFEST [DIR] [--public-key KEY]", err);
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
    if (hasKey) {
        const std::string problem = DescribeSignature(operations, manifestPath, text, point);
        if (!problem.empty())
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
    if (findings.empty())
        out << EscapeForDisplay(manifestPath) << ": " << lint.entries.size() << " entries, no problems\n";
    else
        out << EscapeForDisplay(manifestPath) << ": " << findings.size() << " problem(s)\n";
    return findings.empty() ? kExitClean : kExitFindings;
}

// Where a launcher in `clientFolder` would keep the entry's file: it turns '/' into '\\' and
// Windows takes both, so here both become '/'.
std::string BuildClientPath(const std::string& clientFolder, const std::string& path) {
    std::string relative = path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return JoinPath(clientFolder, relative);
}

bool HasByteAbove7F(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

int RunPlan(const std::vector<std::string>& args,
            const FileListOperations& operations,
            std::ostream& out,
            std::ostream& err) {
    if (args.size() != 3)
        return ReportUsageError("plan takes MANIFEST CLIENT_DIR", err);
    const std::string& manifestPath = args[1];
    const std::string& clientFolder = args[2];
    std::string text;
    if (!ReadManifest(operations, manifestPath, &text, err) || !RequireFolder(operations, clientFolder, err))
        return kExitError;
    const std::string servedFolder = ParentFolder(manifestPath);

    // Exactly the launcher's reading: no trimming; a byte-order mark opening the text is skipped.
    const std::vector<FileListEntry> entries = ParseFileList(text);
    if (entries.empty()) {
        out << "no entries: the launcher would report \"No files to download.\" and stop\n";
        return kExitFindings;
    }

    struct LocalFile {
        PathKind kind = PathKind::kMissing;
        uint64_t length = 0;
    };
    std::vector<LocalFile> localFiles(entries.size());
    uint64_t totalLength = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        // The launcher widens each byte above 0x7F to its own character, so it never finds a file
        // whose name was written in UTF-8: such a file counts as missing.
        if (!IsEntryPathAllowed(entries[i].path) || HasByteAbove7F(entries[i].path))
            continue;
        localFiles[i].kind =
            operations.inspectPath(BuildClientPath(clientFolder, entries[i].path), &localFiles[i].length);
        if (localFiles[i].kind == PathKind::kFile)
            totalLength += localFiles[i].length;
    }

    // Files this run has already fetched, by folded path: their contents are the served file's.
    std::map<std::string, std::string> servedPathOfFetched;
    std::map<std::string, std::string> servedDigests;
    ProgressLine progress = StartProgress(operations, err, totalLength);
    size_t downloadCount = 0;
    uint64_t downloadLength = 0;
    std::string stopReason;
    size_t handled = 0;
    for (; handled < entries.size(); ++handled) {
        const FileListEntry& entry = entries[handled];
        const std::string shownPath = EscapeForDisplay(entry.path);
        if (!IsEntryPathAllowed(entry.path)) {
            stopReason = "the launcher refuses the path " + shownPath;
            break;
        }
        const std::string key = FoldLetterCase(entry.path);
        const LocalFile& local = localFiles[handled];
        std::string localDigest;
        const auto fetched = servedPathOfFetched.find(key);
        if (fetched != servedPathOfFetched.end()) {
            auto known = servedDigests.find(fetched->second);
            if (known == servedDigests.end())
                known = servedDigests
                            .emplace(fetched->second, ComputeMd5WithProgress(operations, fetched->second, &progress))
                            .first;
            localDigest = known->second;
        } else if (local.kind == PathKind::kFile) {
            localDigest = ComputeMd5WithProgress(operations, BuildClientPath(clientFolder, entry.path), &progress);
        }
        if (!localDigest.empty() && localDigest == entry.md5)
            continue;

        if (fetched == servedPathOfFetched.end() && local.kind != PathKind::kMissing && local.kind != PathKind::kFile) {
            stopReason = "a folder stands where " + shownPath + " would be written, so its download fails";
            break;
        }
        const std::string servedPath = JoinPath(servedFolder, entry.path);
        uint64_t servedLength = 0;
        if (operations.inspectPath(servedPath, &servedLength) != PathKind::kFile) {
            stopReason = shownPath + " is not in the served folder " + EscapeForDisplay(servedFolder) +
                         ", so its download fails";
            break;
        }
        ClearProgress(&progress);
        const char* why = (fetched == servedPathOfFetched.end() && local.kind == PathKind::kMissing)
                              ? "missing"
                              : (localDigest.empty() ? "unreadable" : "differs");
        out << "download " << shownPath << " (" << servedLength << " bytes, " << why << ")\n";
        servedPathOfFetched[key] = servedPath;
        ++downloadCount;
        downloadLength += servedLength;
    }
    ClearProgress(&progress);

    out << downloadCount << " of " << entries.size() << " file(s) to download, " << downloadLength << " bytes";
    if (downloadLength >= kMebibyte)
        out << " (" << downloadLength / kMebibyte << " MiB)";
    out << "\n";
    if (!stopReason.empty()) {
        out << "the run would stop at entry " << handled + 1 << ": " << stopReason << "\n";
        return kExitFindings;
    }
    return kExitClean;
}

}  // namespace

std::string FormatProgress(uint64_t done, uint64_t total) {
    std::string text = std::to_string(done / kMebibyte) + " of " + std::to_string(total / kMebibyte) + " MiB";
    if (total > 0)
        text += " (" + std::to_string(std::min<uint64_t>(done, total) * 100 / total) + "%)";
    return text;
}

int RunFileListTool(const std::vector<std::string>& args,
                    const FileListOperations& operations,
                    std::ostream& out,
                    std::ostream& err) {
    if (args.empty())
        return ReportUsageError("missing command", err);
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kHelpText;
        return kExitClean;
    }
    if (command == "make")
        return RunMake(args, operations, out, err);
    if (command == "check")
        return RunCheck(args, operations, out, err);
    if (command == "plan")
        return RunPlan(args, operations, out, err);
    if (command == "keygen")
        return RunKeygen(args, operations, out, err);
    if (command == "sign")
        return RunSign(args, operations, err);
    return ReportUsageError("unknown command '" + EscapeForDisplay(command) + "'", err);
}
