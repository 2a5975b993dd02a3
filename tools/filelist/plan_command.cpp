// plan MANIFEST CLIENT_DIR: the launcher's own run over the operator's folders, where a download
// only notes what would be fetched and how many bytes.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/filelist/commands.h"
#include "tools/filelist/delta_estimate.h"
#include "tools/filelist/manifest_rules.h"
#include "update/local/entry_paths.h"
#include "update/list/manifest.h"
#include "update/run/run_progress.h"
#include "update/run/update_run.h"

namespace {

// Stands in for the launcher folder and the server root in the run's paths and addresses, which
// are mapped back to the operator's folders here.
const wchar_t kPlanFolder[] = L"C:\\client";
const char kPlanRoot[] = "https://plan.invalid";

// What the run does, seen from the operator's folders.
struct Plan {
    Plan(const FileListOperations& operations, std::ostream& out, std::string clientFolder, std::string servedFolder)
        : operations(operations),
          out(out),
          clientFolder(std::move(clientFolder)),
          servedFolder(std::move(servedFolder)) {}

    const FileListOperations& operations;
    std::ostream& out;
    std::string clientFolder;
    std::string servedFolder;
    ProgressLine progress;

    std::map<std::string, std::string> servedPathOfFetched;  // folded manifest path -> served file
    std::map<std::string, std::string> servedDigests;
    std::string lastDigest;  // of the entry just examined
    bool lastExisted = false;
    std::string stopReason;
    size_t downloadCount = 0;
    size_t deltaCount = 0;
    uint64_t downloadLength = 0;  // a delta counts the bytes it moves

    // The manifest path of a local path the run built; false when the launcher could never find
    // such a file (a byte above 0x7F widens to a character that no UTF-8 name holds).
    static bool RelativePathOf(const std::wstring& localPath, std::string* relative) {
        relative->clear();
        for (size_t i = std::wstring(kPlanFolder).size() + 1; i < localPath.size(); ++i) {
            const wchar_t c = localPath[i];
            if (c > 0x7F)
                return false;
            relative->push_back(c == L'\\' ? '/' : static_cast<char>(c));
        }
        return true;
    }

    // The served file that a path fetched earlier in this run now holds; null for any other.
    const std::string* FetchedFile(const std::string& relative) const {
        const auto fetched = servedPathOfFetched.find(FoldLetterCase(relative));
        return fetched == servedPathOfFetched.end() ? nullptr : &fetched->second;
    }

    PathKind Inspect(const std::wstring& localPath, std::string* clientPath, uint64_t* length = nullptr) {
        std::string relative;
        if (!RelativePathOf(localPath, &relative))
            return PathKind::kMissing;
        *clientPath = JoinPath(clientFolder, relative);
        uint64_t ignored = 0;
        return operations.inspectPath(*clientPath, length ? length : &ignored);
    }

    bool Exists(const std::wstring& localPath) {
        std::string relative;
        std::string clientPath;
        lastExisted = (RelativePathOf(localPath, &relative) && FetchedFile(relative)) ||
                      Inspect(localPath, &clientPath) != PathKind::kMissing;
        lastDigest.clear();
        return lastExisted;
    }

    // A file this run fetched holds the served bytes.
    FileDigest Digest(const std::wstring& localPath) {
        std::string relative;
        RelativePathOf(localPath, &relative);
        if (const std::string* fetched = FetchedFile(relative)) {
            auto known = servedDigests.find(*fetched);
            if (known == servedDigests.end())
                known = servedDigests.emplace(*fetched, ComputeMd5WithProgress(operations, *fetched, &progress)).first;
            lastDigest = known->second;
        } else {
            std::string clientPath;
            lastDigest = Inspect(localPath, &clientPath) == PathKind::kFile
                             ? ComputeMd5WithProgress(operations, clientPath, &progress)
                             : std::string();
        }
        return FileDigest(lastDigest);
    }

    DownloadOutcome Download(const std::string& address, const std::wstring& localPath, const std::string& md5) {
        const std::string path = address.substr(BuildFileBaseAddress(kPlanRoot).size());
        const std::string shownPath = EscapeForDisplay(path);
        std::string clientPath;
        const bool fetchedBefore = FetchedFile(path) != nullptr;
        uint64_t localLength = 0;
        const PathKind local = Inspect(localPath, &clientPath, &localLength);
        if (!fetchedBefore && local != PathKind::kMissing && local != PathKind::kFile) {
            stopReason = "a folder stands where " + shownPath + " would be written, so its download fails";
            return DownloadOutcome::kCannotWrite;
        }
        const std::string servedPath = JoinPath(servedFolder, path);
        uint64_t servedLength = 0;
        if (operations.inspectPath(servedPath, &servedLength) != PathKind::kFile) {
            stopReason = shownPath + " is not in the served folder " + EscapeForDisplay(servedFolder) +
                         ", so its download fails";
            return DownloadOutcome::kFailed;
        }
        const char* why = !lastExisted ? "missing" : (lastDigest.empty() ? "unreadable" : "differs");
        // A file fetched earlier in this run, or one that could not be read, comes whole.
        uint64_t deltaBytes = 0;
        const bool delta = !fetchedBefore && local == PathKind::kFile && lastExisted && !lastDigest.empty() &&
                           EstimateDeltaBytes(operations, servedPath, servedLength, md5, clientPath, localLength,
                                              &progress, &deltaBytes);
        ClearProgress(&progress);
        out << "download " << shownPath << " (" << servedLength << " bytes, " << why;
        if (delta)
            out << ", as a delta: about " << deltaBytes << " bytes";
        out << ")\n";
        servedPathOfFetched[FoldLetterCase(path)] = servedPath;
        ++downloadCount;
        deltaCount += delta ? 1 : 0;
        downloadLength += delta ? deltaBytes : servedLength;
        return DownloadOutcome::kStored;
    }
};

}  // namespace

int RunPlan(const std::vector<std::string>& args,
            const FileListOperations& operations,
            std::ostream& out,
            std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(args, {});
    if (!parsed.ok || parsed.positional.size() != 2)
        return ReportUsageError("plan takes MANIFEST CLIENT_DIR", err);
    const std::string& manifestPath = parsed.positional[0];
    std::string text;
    if (!ReadManifest(operations, manifestPath, &text, err) || !RequireFolder(operations, parsed.positional[1], err))
        return kExitError;

    // The launcher reads the list the same way: an empty one ends the run before any file.
    const std::vector<FileListEntry> entries = ParseFileList(text);
    if (entries.empty()) {
        out << "no entries: the launcher would report \"No files to download.\" and stop\n";
        return kExitFindings;
    }
    Plan plan(operations, out, parsed.positional[1], ParentFolder(manifestPath));
    uint64_t totalLength = 0;
    for (const FileListEntry& entry : entries) {
        uint64_t length = 0;
        if (IsEntryPathAllowed(entry.path) &&
            operations.inspectPath(JoinPath(plan.clientFolder, entry.path), &length) == PathKind::kFile)
            totalLength += length;
    }
    plan.progress = StartProgress(operations, err, totalLength);

    int32_t handled = 0;
    UpdateOperations run;
    run.list.fetchList = [&text](const std::string&, const std::string&) {
        return ListAnswer{ListAnswer::Kind::kList, text, std::string()};
    };
    run.pathExists = [&plan](const std::wstring& localPath) { return plan.Exists(localPath); };
    run.computeDigest = [&plan](const std::wstring& localPath, const std::atomic<bool>&) {
        return plan.Digest(localPath);
    };
    // Nothing is written: what a download would fetch is noted, and putting it in place is
    // always possible.
    run.startFetch = [&plan](const std::string& address, const std::wstring& localPath, const std::string& md5,
                             FetchProgress&, const std::atomic<bool>&) -> FetchStep {
        return [&plan, address, localPath, md5](DownloadOutcome* outcome) {
            *outcome = plan.Download(address, localPath, md5);
            if (*outcome == DownloadOutcome::kStored)
                *outcome = DownloadOutcome::kFetched;
            return true;
        };
    };
    run.installFile = [](const std::wstring&) { return DownloadOutcome::kStored; };
    run.listTemporaryFiles = [](const std::wstring&) { return std::vector<std::wstring>(); };
    run.deleteFile = [](const std::wstring&) {};
    run.isCancelRequested = [] { return false; };
    const int32_t units = ProgressUnitsPerEntry(entries.size());
    run.postProgress = [&handled, units](int32_t done, int32_t) { handled = done / units; };
    run.postStatus = [](const std::wstring&) {};
    const bool complete = RunUpdate(kPlanFolder, {kPlanRoot}, run);
    ClearProgress(&plan.progress);

    out << plan.downloadCount << " of " << entries.size() << " file(s) to download";
    if (plan.deltaCount > 0)
        out << " (" << plan.deltaCount << " as a delta)";
    out << ", " << plan.downloadLength << " bytes";
    if (plan.downloadLength >= kMebibyte)
        out << " (" << plan.downloadLength / kMebibyte << " MiB)";
    out << "\n";
    if (complete)
        return kExitClean;
    // A run that ends at an entry without a download of its own refused the entry's path.
    const FileListEntry& stopped = entries[static_cast<size_t>(handled)];
    const std::string reason =
        !plan.stopReason.empty() ? plan.stopReason : "the launcher refuses the path " + EscapeForDisplay(stopped.path);
    out << "the run would stop at entry " << handled + 1 << ": " << reason << "\n";
    return kExitFindings;
}
