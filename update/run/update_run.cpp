#include "update/run/update_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "update/run/digests_ahead.h"
#include "update/local/entry_paths.h"
#include "update/run/entry_walk.h"
#include "update/run/known_digests.h"
#include "update/list/manifest.h"
#include "update/run/run_progress.h"
#include "update/run/run_reports.h"

namespace {

// The status text of an end is the run's last report; the finish message follows it once the
// caller has let go of everything the run used, so the window shows the text before it leaves
// the running state.
bool EndRun(Reports& reports, const std::wstring& text, bool complete) {
    reports.StatusNow(text);
    return complete;
}

// Our temporary downloads in the folders of the listed files: those of listed paths are deleted
// at once, before any entry is examined, unless they can resume; the others are returned, for a
// complete run to delete.
std::vector<std::wstring> RemoveStaleDownloads(const UpdateOperations& operations,
                                               const std::wstring& launcherFolder,
                                               const std::vector<FileListEntry>& entries) {
    std::set<std::wstring> listed;
    std::map<std::wstring, std::wstring> folders;  // key -> folder as first written
    for (const FileListEntry& entry : entries) {
        if (!IsEntryPathAllowed(entry.path))
            continue;
        const std::wstring localPath = BuildLocalPath(launcherFolder, WidenManifestPath(entry.path));
        listed.insert(PathKey(TemporaryDownloadPath(localPath)));
        const std::wstring folder = localPath.substr(0, localPath.rfind(L'\\'));
        folders.emplace(PathKey(folder), folder);
    }
    std::vector<std::wstring> unlisted;
    for (const auto& folder : folders) {
        for (const std::wstring& found : operations.listTemporaryFiles(folder.second)) {
            const bool resumable = operations.canResume && operations.canResume(found);
            if (listed.count(PathKey(found)) && !resumable)
                operations.deleteFile(found);
            else
                unlisted.push_back(found);
        }
    }
    return unlisted;
}

// The local paths of the entries up to the first refused one: nothing at or after it is read.
std::vector<std::wstring> PathsToExamine(const std::wstring& launcherFolder,
                                         const std::vector<FileListEntry>& entries) {
    std::vector<std::wstring> paths;
    for (const FileListEntry& entry : entries) {
        if (!IsEntryPathAllowed(entry.path))
            break;
        paths.push_back(BuildLocalPath(launcherFolder, WidenManifestPath(entry.path)));
    }
    return paths;
}

// How far the digests may run ahead of the entry decided next: enough to keep the digest threads
// busy while the run downloads or reports, little enough that a cancel drops little work.
constexpr size_t kDigestsAhead = 32;
// What the run prepares before it examines the first entry: the temporary downloads that belong
// to no listed file any more, the local paths and the digests computed ahead.
struct Prepared {
    std::vector<std::wstring> leftDownloads;
    std::vector<std::wstring> paths;
    KnownDigests known;
    std::unique_ptr<DigestsAhead> ahead;
};

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder,
               const std::vector<std::string>& serverRoots,
               const UpdateOperations& operations) {
    Reports reports{operations};
    reports.StatusNow(kStatusChecking);
    FetchedList fetched = FetchList(operations.list, serverRoots);
    std::vector<FileListEntry> entries;
    std::vector<std::string> fileBases;
    if (fetched.end == ListEnd::kList) {
        try {
            // The entries hold everything the run needs: the text goes at once.
            entries = ParseFileList(fetched.text);
            fetched.text = std::string();
            fileBases.push_back(BuildFileBaseAddress(serverRoots[fetched.root]));
            for (size_t index = 0; index < serverRoots.size(); ++index) {
                if (index != fetched.root)
                    fileBases.push_back(BuildFileBaseAddress(serverRoots[index]));
            }
        } catch (const std::bad_alloc&) {
            fetched.end = ListEnd::kNoConnection;
        }
    }
    // CANCEL ends a fetch under way; what came is not looked at.
    if (fetched.end == ListEnd::kCancelled || (fetched.end != ListEnd::kList && operations.isCancelRequested()))
        return EndRun(reports, kStatusCancelled, false);
    switch (fetched.end) {
        case ListEnd::kNotSigned:
            return EndRun(reports, kStatusNotSigned, false);
        case ListEnd::kOlderThanInstalled:
            return EndRun(reports, kStatusListOlder, false);
        case ListEnd::kList:
            break;
        default:
            return EndRun(reports, kStatusCannotConnect, false);
    }
    if (entries.empty())
        return EndRun(reports, kStatusNoFiles, false);

    reports.Progress(0, static_cast<int32_t>(entries.size()) * ProgressUnitsPerEntry(entries.size()));
    Prepared prepared;
    try {
        // What is left of these once every listed file is in place belongs to no download any more.
        prepared.leftDownloads = RemoveStaleDownloads(operations, launcherFolder, entries);
        prepared.paths = PathsToExamine(launcherFolder, entries);
        PrepareKnownDigests(operations, entries, prepared.paths, &prepared.known);
        // Only the files the record does not stand for are read ahead.
        std::vector<std::wstring> toRead = PathsToRead(prepared.known, prepared.paths);
        if (operations.digestThreads > 0 && toRead.size() > 1) {
            prepared.ahead.reset(new DigestsAhead(std::move(toRead), kDigestsAhead, operations.digestThreads,
                                                  [&operations](const std::wstring& path, const std::atomic<bool>& stop) {
                                                      return ReadDigest(operations, path, stop);
                                                  }));
            if (!prepared.ahead->IsRunning())
                prepared.ahead.reset();
        }
    } catch (const std::bad_alloc&) {
        // Nothing has been examined yet: the run ends as if the list had not come.
        prepared.ahead.reset();
        prepared = Prepared();
        return EndRun(reports, kStatusCannotConnect, false);
    }

    // The walk refers to the prepared paths and the digests ahead: it is made after them, so it
    // is gone before them.
    std::unique_ptr<EntryWalk> walk;
    try {
        walk.reset(new EntryWalk(operations, entries, prepared.paths, fileBases, prepared.ahead.get(), &prepared.known,
                                 reports));
    } catch (const std::bad_alloc&) {
        return EndRun(reports, kStatusCannotConnect, false);
    }
    while (!walk->Done()) {
        std::wstring end;
        if (operations.isCancelRequested()) {
            end = kStatusCancelled;
        } else {
            try {
                end = walk->Step();
            } catch (const std::bad_alloc&) {
                // Whatever this entry held is released by now, so the end's text can be made.
                end = kStatusDownloadFailedPrefix + WidenManifestPath(entries[walk->Next()].path);
            }
        }
        if (!end.empty()) {
            const bool noRoom = end.compare(0, std::wstring(kStatusNoRoomPrefix).size(), kStatusNoRoomPrefix) == 0;
            walk->DropFetchedAhead(end == kStatusCancelled ? EarlyEnd::kCancel
                                   : noRoom                ? EarlyEnd::kNoRoom
                                                           : EarlyEnd::kFailure);
            KeepKnownDigests(prepared.known, operations, entries, false);
            return EndRun(reports, end, false);
        }
    }
    for (const std::wstring& path : prepared.leftDownloads)
        operations.deleteFile(path);
    KeepKnownDigests(prepared.known, operations, entries, true);
    return EndRun(reports, kStatusComplete, true);
}
