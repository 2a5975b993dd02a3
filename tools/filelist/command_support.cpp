#include "tools/filelist/commands.h"

#include <algorithm>

#include "tools/filelist/manifest_rules.h"
#include "update/list/manifest_signature.h"

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::set<std::string>& options,
                               const std::set<std::string>& flags) {
    ParsedArguments parsed;
    for (size_t i = 1; i < args.size(); ++i) {
        if (flags.count(args[i])) {
            if (!parsed.options.emplace(args[i], std::string()).second)
                parsed.ok = false;
        } else if (options.count(args[i])) {
            if (i + 1 == args.size() || args[i + 1].empty() || !parsed.options.emplace(args[i], args[i + 1]).second)
                parsed.ok = false;
            ++i;
        } else if (args[i].empty()) {
            parsed.ok = false;
        } else {
            parsed.positional.push_back(args[i]);
        }
    }
    return parsed;
}

int ReportUsageError(const std::string& message, std::ostream& err) {
    err << "vardenhal-filelist: " << message << "\nTry 'vardenhal-filelist --help'.\n";
    return kExitError;
}

namespace {

const auto kProgressDelay = std::chrono::seconds(1);
const auto kProgressInterval = std::chrono::milliseconds(250);

}  // namespace

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

bool IsListFile(const std::string& path) {
    const std::string manifest = kManifestName;
    return path == manifest || path == manifest + kSignatureSuffix || path == manifest + kGzipSuffix;
}

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

const char kSequenceUsage[] = "--sequence takes a whole number from 1 to 9223372036854775807";

bool ReadSequenceOption(const ParsedArguments& parsed, const FileListOperations& operations, uint64_t* sequence) {
    if (parsed.Has("--sequence"))
        return ParseSequence(parsed.options.at("--sequence"), sequence);
    *sequence = operations.unixTime();
    return *sequence >= 1 && *sequence <= kMostSequence;
}

bool SignBytes(const FileListOperations& operations,
               const std::string& keyPath,
               uint64_t sequence,
               const std::string& bytes,
               std::string* signatureFile,
               std::ostream& err) {
    std::string keyFile;
    if (!ReadRegularFile(operations, keyPath, &keyFile)) {
        err << "vardenhal-filelist: cannot read the key file " << EscapeForDisplay(keyPath) << "\n";
        return false;
    }
    std::string signature;
    if (!operations.sign(keyFile, SignedListBytes(sequence, bytes), &signature)) {
        err << "vardenhal-filelist: " << EscapeForDisplay(keyPath) << " holds no ECDSA P-256 private key\n";
        return false;
    }
    *signatureFile = FormatSignatureFile(sequence, signature);
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
