#include "update/run/update_run.h"

#include "update/local/digest_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kFolder[] = L"C:\\Games\\L2";
const char kRoot[] = "https://updates.test";
const char kManifestAddress[] = "https://updates.test/updater/filelist.txt";

using Lines = std::vector<std::wstring>;

std::wstring WidenAscii(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// UTF-16 code units as Windows would hold them, whatever the width of wchar_t here.
std::vector<uint16_t> CodeUnits(const std::wstring& text) {
    std::vector<uint16_t> units;
    for (wchar_t c : text)
        units.push_back(static_cast<uint16_t>(c));
    return units;
}

// "progress 2 of 4", or "progress 2.250 of 4" a quarter into the third file: a figure in the
// run's units, 1000 an entry.
std::wstring ProgressLine(int32_t done, int32_t total) {
    std::wstring line = L"progress " + std::to_wstring(done / 1000);
    if (done % 1000 != 0) {
        const std::wstring part = std::to_wstring(1000 + done % 1000);
        line += L"." + part.substr(1);
    }
    return line + L" of " + std::to_wstring(total / 1000);
}

// More list requests than any run makes: the fake refuses the rest. More steps of one fetch than
// any test takes: the fetch then ends.
constexpr size_t kMostListRequests = 8;
constexpr int kMostSteps = 10000;

// A server, a launcher folder and a window made of plain data. Every posted message and every
// file operation is written down in order, so the tests can compare whole sequences.
struct FakeRun {
    std::map<std::string, std::string> served;                     // address -> manifest body
    std::map<std::wstring, std::string> localDigests;              // what exists: local path -> digest
    std::set<std::string> failingDownloads;                        // addresses whose download fails
    std::map<std::string, std::vector<DownloadOutcome>> outcomes;  // address -> one outcome per try
    std::set<std::wstring> resumable;                              // temporary files with a record
    std::set<std::wstring> inUse;                                  // held by another program
    bool sweepRunsOutOfMemory = false;
    std::atomic<int32_t> lastPostedDone{-1};  // in entries
    std::atomic<int32_t> lastPostedUnits{-1};
    std::vector<int32_t> figures;  // every progress figure posted, in units
    bool cancelInWait = false;
    std::vector<uint32_t> waits;                         // how long the run waited before each download after the first
    std::function<void(const std::string&)> onDownload;  // runs inside a download, e.g. a cancel press
    // Each step of a download, with its count (from 1); it ends the download by giving true, and may
    // change its outcome. Unset, a download ends at its first step.
    std::function<bool(const std::string&, int step, FetchProgress&, const std::atomic<bool>& stop, DownloadOutcome*)>
        onStep;
    uint64_t nowMs = 1;             // the run's clock
    uint64_t lastEndMs = 0;         // when the last download ended
    std::function<void()> onFetch;  // runs inside the manifest fetch
    std::vector<std::string> roots = {kRoot};
    std::map<std::string, ListAnswer::Kind> listAnswers;  // address -> an answer other than its list
    std::map<std::string, std::string> listValidators;    // address -> the validator its list comes with
    std::vector<std::string> listRequests;                // "address" or "address if validator"
    // A signed build: a signature file "N:" followed by the list signs it with sequence N.
    bool signedBuild = false;
    std::map<std::string, std::string> signatureFiles;  // address -> its signature file
    std::vector<std::string> signatureRequests;
    uint64_t accepted = 0;  // the highest sequence accepted
    std::unique_ptr<KeptList> kept;
    Lines keptEvents;  // "keep ROOT VALIDATOR", "drop"
    std::atomic<bool> cancelRequested{false};
    int cancelChecks = 0;
    size_t digestThreads = 0;
    bool windowReadsNothing = false;  // every progress after the first stays unread
    bool unread = false;
    std::function<void(const std::wstring&, const std::atomic<bool>&)> onDigest;  // on the digest's thread
    std::mutex lock;  // the digests may be read on a thread of their own

    Lines messages;  // what the window would receive
    Lines touched;   // every exists, digest and download call, with its path
    std::vector<std::string> downloadAddresses;
    std::vector<std::wstring> downloadPaths;
    std::vector<std::string> downloadDigests;
    Lines installed;
    std::map<std::wstring, std::string> fetchedDigests;  // in the temporary files
    size_t transfersAtOnce = 1;
    std::map<std::wstring, std::vector<std::wstring>> temporaryFiles;  // folder -> ours found there
    Lines listedFolders;
    Lines cleaned;  // deletions of temporary files, apart from `touched`
    // The record of digests, when the run keeps one: its text as on disk ("" for none), how often
    // it was written, each file's state as a listing shows it, and the wall clock (a file time).
    bool keepsDigests = false;
    std::string recordText;
    int recordWrites = 0;
    std::map<std::wstring, FileState> fileStates;
    std::atomic<uint64_t> fileTime{0};

    UpdateOperations Operations() {
        UpdateOperations operations;
        operations.list.fetchList = [this](const std::string& address, const std::string& validator) {
            if (onFetch)
                onFetch();
            listRequests.push_back(validator.empty() ? address : address + " if " + validator);
            ListAnswer answer;
            // A run that asks again and again ends here, for its test to fail rather than hang.
            if (listRequests.size() > kMostListRequests) {
                answer.kind = ListAnswer::Kind::kRefused;
                return answer;
            }
            const auto scripted = listAnswers.find(address);
            const auto found = served.find(address);
            if (scripted != listAnswers.end())
                answer.kind = scripted->second;
            else if (found != served.end())
                answer = {ListAnswer::Kind::kList, found->second, listValidators[address]};
            return answer;
        };
        if (signedBuild) {
            operations.list.fetchSignatureFile = [this](const std::string& address) {
                signatureRequests.push_back(address);
                return signatureFiles[address];
            };
            operations.list.verifyListSignature = [](const std::string& list, const std::string& file,
                                                     uint64_t* sequence) {
                const size_t colon = file.find(':');
                if (colon == std::string::npos || file.substr(colon + 1) != list)
                    return false;
                *sequence = std::stoull(file.substr(0, colon));
                return true;
            };
            operations.list.readAcceptedSequence = [this] { return accepted; };
            operations.list.writeAcceptedSequence = [this](uint64_t sequence) {
                keptEvents.push_back(L"accept " + std::to_wstring(sequence));
                accepted = sequence;
            };
        }
        operations.list.readKeptList = [this](KeptList* list) {
            if (kept)
                *list = *kept;
            return kept != nullptr;
        };
        operations.list.keepList = [this](const KeptList& list) {
            keptEvents.push_back(L"keep " + WidenAscii(list.root) + L" " + WidenAscii(list.validator));
            kept.reset(new KeptList(list));
        };
        operations.list.dropKeptList = [this] {
            keptEvents.push_back(L"drop");
            kept.reset();
        };
        operations.pathExists = [this](const std::wstring& path) {
            std::lock_guard<std::mutex> hold(lock);
            touched.push_back(L"exists " + path);
            return localDigests.count(path) != 0;
        };
        operations.computeDigest = [this](const std::wstring& path, const std::atomic<bool>& stop) {
            if (onDigest)
                onDigest(path, stop);
            std::lock_guard<std::mutex> hold(lock);
            touched.push_back(L"digest " + path);
            const auto found = localDigests.find(path);
            return FileDigest(found == localDigests.end() ? std::string() : found->second, inUse.count(path) != 0);
        };
        operations.digestThreads = digestThreads;
        if (windowReadsNothing)
            operations.isProgressUnread = [this] { return unread; };
        operations.startFetch = [this](const std::string& address, const std::wstring& path, const std::string& md5,
                                       FetchProgress& progress, const std::atomic<bool>& stop) -> FetchStep {
            std::unique_lock<std::mutex> hold(lock);  // the digests ahead write down their calls too
            touched.push_back(L"download " + WidenAscii(address) + L" -> " + path);
            downloadAddresses.push_back(address);
            downloadPaths.push_back(path);
            downloadDigests.push_back(md5);
            fetchedDigests[path] = md5;
            if (lastEndMs > 0 && nowMs > lastEndMs)
                waits.push_back(static_cast<uint32_t>(nowMs - lastEndMs));
            DownloadOutcome outcome =
                failingDownloads.count(address) ? DownloadOutcome::kFailed : DownloadOutcome::kFetched;
            std::vector<DownloadOutcome>& scripted = outcomes[address];
            if (!scripted.empty()) {
                outcome = scripted.front();
                scripted.erase(scripted.begin());
            }
            hold.unlock();
            if (onDownload)
                onDownload(address);
            auto steps = std::make_shared<int>(0);
            return [this, address, outcome, steps, &progress, &stop](DownloadOutcome* ended) {
                *ended = outcome;
                // A run that never lets a fetch end ends it here, for its test to fail rather than hang.
                if (onStep && !onStep(address, ++*steps, progress, stop, ended) && *steps < kMostSteps)
                    return false;
                lastEndMs = nowMs;
                return true;
            };
        };
        operations.installFile = [this](const std::wstring& path) {
            std::lock_guard<std::mutex> hold(lock);
            installed.push_back(path);
            localDigests[path] = fetchedDigests[path];
            fileStates[path] = {fileStates[path].length + 1, fileTime, fileTime};
            return DownloadOutcome::kStored;
        };
        if (keepsDigests) {
            operations.readDigestRecord = [this](size_t listed, DigestRecord* record) {
                return ParseDigestRecord(recordText, listed, record);
            };
            operations.writeDigestRecord = [this](const DigestRecord& record) {
                ++recordWrites;
                recordText = FormatDigestRecord(record);
            };
            operations.readFileStates = [this](const std::vector<std::wstring>& paths) {
                std::vector<ListedFile> listed(paths.size());
                for (size_t i = 0; i < paths.size(); ++i) {
                    const auto found = fileStates.find(paths[i]);
                    if (found != fileStates.end() && localDigests.count(paths[i]))
                        listed[i] = {true, false, found->second};
                    listed[i].absent = !localDigests.count(paths[i]);
                }
                return listed;
            };
            operations.readFileState = [this](const std::wstring& path, FileState* state) {
                std::lock_guard<std::mutex> hold(lock);
                *state = fileStates[path];
                return true;
            };
            operations.nowFileTime = [this] { return fileTime.load(); };
        }
        operations.transfersAtOnce = transfersAtOnce;
        operations.canResume = [this](const std::wstring& path) { return resumable.count(path) != 0; };
        // The clock moves only while the run waits.
        operations.nowMs = [this] { return nowMs; };
        operations.waitForTransfers = [this](uint32_t milliseconds) {
            if (cancelInWait)
                cancelRequested = true;
            nowMs += milliseconds;
        };
        operations.listTemporaryFiles = [this](const std::wstring& folder) {
            if (sweepRunsOutOfMemory)
                throw std::bad_alloc();
            listedFolders.push_back(folder);
            return temporaryFiles[folder];
        };
        operations.deleteFile = [this](const std::wstring& path) { cleaned.push_back(L"delete " + path); };
        operations.isCancelRequested = [this] {
            ++cancelChecks;
            return cancelRequested.load();
        };
        operations.postProgress = [this](int32_t done, int32_t total) {
            unread = true;
            lastPostedDone = done / 1000;
            lastPostedUnits = done;
            figures.push_back(done);
            messages.push_back(ProgressLine(done, total));
        };
        operations.postStatus = [this](const std::wstring& text) {
            unread = true;
            messages.push_back(L"status " + text);
        };
        return operations;
    }

    // The end is announced as the worker announces it: after the run has returned.
    bool Run() {
        const bool complete = RunUpdate(kFolder, roots, Operations());
        messages.push_back(complete ? L"finished 1" : L"finished 0");
        return complete;
    }
};

std::string Manifest(const std::vector<std::string>& paths,
                     const std::string& digest = "d41d8cd98f00b204e9800998ecf8427e") {
    std::string text;
    for (const std::string& path : paths)
        text += path + "|" + digest + "\r\n";
    return text;
}

std::wstring Local(const std::wstring& relative) {
    return std::wstring(kFolder) + L"\\" + relative;
}

const std::wstring kChecking = L"status Checking for updates...";
const std::wstring kComplete = L"status Update complete! Press GAME START to play.";
const std::wstring kCancelled = L"status Update cancelled.";

// A list of one file, a.dat, whose download ends with `outcome`.
std::function<void(FakeRun&)> DownloadOfAEndsWith(DownloadOutcome outcome) {
    return [outcome](FakeRun& run) {
        run.served[kManifestAddress] = Manifest({"a.dat"});
        run.outcomes["https://updates.test/updater/a.dat"] = {outcome};
    };
}

TEST(UpdateRunEnds, EachEndPostsItsTextThenExactlyOneFinishedMessage) {
    const struct {
        const char* name;
        std::function<void(FakeRun&)> prepare;
        Lines expected;
        bool complete;
    } cases[] = {
        {"no connection",
         [](FakeRun&) {},
         {kChecking, L"status Error: Cannot connect to update server.", L"finished 0"},
         false},
        {"error page without separators",
         [](FakeRun& run) { run.served[kManifestAddress] = "<html><body>Not Found</body></html>\n"; },
         {kChecking, L"status No files to download.", L"finished 0"},
         false},
        {"cancelled",
         [](FakeRun& run) {
             run.served[kManifestAddress] = Manifest({"a.dat", "b.dat"});
             run.cancelRequested = true;
         },
         {kChecking, L"progress 0 of 2", kCancelled, L"finished 0"},
         false},
        {"download failed",
         [](FakeRun& run) {
             run.served[kManifestAddress] = Manifest({"a.dat"});
             run.failingDownloads.insert("https://updates.test/updater/a.dat");
         },
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", L"status Error downloading: a.dat",
          L"finished 0"},
         false},
        {"cancelled while the list came",
         [](FakeRun& run) { run.onFetch = [&run] { run.cancelRequested = true; }; },
         {kChecking, kCancelled, L"finished 0"},
         false},
        {"cancelled in a transfer",
         DownloadOfAEndsWith(DownloadOutcome::kCancelled),
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", kCancelled, L"finished 0"},
         false},
        {"no room",
         DownloadOfAEndsWith(DownloadOutcome::kNoRoom),
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", L"status Error: Not enough disk space: a.dat",
          L"finished 0"},
         false},
        {"target in use",
         DownloadOfAEndsWith(DownloadOutcome::kInUse),
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", L"status Error: File in use: a.dat",
          L"finished 0"},
         false},
        {"an up-to-date file held by another program: nothing is fetched",
         [](FakeRun& run) {
             run.served[kManifestAddress] = Manifest({"a.dat"});
             run.localDigests[Local(L"a.dat")] = "";
             run.inUse.insert(Local(L"a.dat"));
         },
         {kChecking, L"progress 0 of 1", L"status Error: File in use: a.dat", L"finished 0"},
         false},
        {"cannot write",
         DownloadOfAEndsWith(DownloadOutcome::kCannotWrite),
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", L"status Error: Cannot write: a.dat",
          L"finished 0"},
         false},
        {"complete",
         [](FakeRun& run) { run.served[kManifestAddress] = Manifest({"a.dat"}); },
         {kChecking, L"progress 0 of 1", L"status Downloading: a.dat", L"progress 1 of 1", kComplete, L"finished 1"},
         true},
    };
    for (const auto& c : cases) {
        FakeRun run;
        c.prepare(run);
        EXPECT_EQ(run.Run(), c.complete) << c.name;
        EXPECT_EQ(run.messages, c.expected) << c.name;
    }
}

TEST(UpdateRunEnds, NoFileIsTouchedWithoutAManifest) {
    for (const char* body : {"", "no separator on this line\r\n"}) {
        FakeRun run;
        run.served[kManifestAddress] = body;
        run.Run();
        EXPECT_TRUE(run.touched.empty()) << body;
        EXPECT_LE(run.cancelChecks, 1) << body;  // only to tell a cancelled fetch from a failed one
    }
}

TEST(UpdateRunEnds, AListWithoutItsSignatureIsNotReadAndNoFileIsTouched) {
    FakeRun run;
    run.signedBuild = true;
    run.served[kManifestAddress] = Manifest({"a.dat"});
    run.signatureFiles[std::string(kManifestAddress) + ".sig"] = "1:" + Manifest({"b.dat"});
    EXPECT_FALSE(run.Run());
    const Lines expected = {kChecking, L"status Error: The update list is not signed.", L"finished 0"};
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(run.signatureRequests, std::vector<std::string>{"https://updates.test/updater/filelist.txt.sig"});
    EXPECT_TRUE(run.touched.empty());
    EXPECT_TRUE(run.listedFolders.empty());
    EXPECT_TRUE(run.keptEvents.empty());
}

TEST(UpdateRunProgress, StartsAtZeroThenOneMessagePerEntryWhetherFetchedOrNot) {
    FakeRun run;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat"});
    run.localDigests[Local(L"a.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    run.localDigests[Local(L"c.dat")] = "0123456789abcdef0123456789abcdef";  // differs
    EXPECT_TRUE(run.Run());
    const Lines expected = {kChecking,          L"progress 0 of 4",
                            L"progress 1 of 4", L"status Downloading: b.dat",
                            L"progress 2 of 4", L"status Downloading: c.dat",
                            L"progress 3 of 4", L"status Downloading: d.dat",
                            L"progress 4 of 4", kComplete,
                            L"finished 1"};
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(run.cancelChecks, 4);
}

TEST(UpdateRunProgress, EveryFileUpToDatePostsNoDownloadText) {
    FakeRun run;
    run.served[kManifestAddress] = Manifest({"system/l2.ini", "system/a.u", "maps/b.unr"});
    for (const wchar_t* path : {L"system\\l2.ini", L"system\\a.u", L"maps\\b.unr"})
        run.localDigests[Local(path)] = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_TRUE(run.Run());
    const Lines expected = {kChecking,          L"progress 0 of 3", L"progress 1 of 3", L"progress 2 of 3",
                            L"progress 3 of 3", kComplete,          L"finished 1"};
    EXPECT_EQ(run.messages, expected);
    for (const std::wstring& call : run.touched)
        EXPECT_EQ(call.find(L"download"), std::wstring::npos) << call;
}

TEST(UpdateRunFailure, ThirdOfFiveFailingStopsAtTwoOfFiveAndNeverLooksAtTheRest) {
    FakeRun run;
    run.served[kManifestAddress] = Manifest({"one.dat", "two.dat", "three.dat", "four.dat", "five.dat"});
    run.failingDownloads.insert("https://updates.test/updater/three.dat");
    EXPECT_FALSE(run.Run());
    const Lines expected = {kChecking,
                            L"progress 0 of 5",
                            L"status Downloading: one.dat",
                            L"progress 1 of 5",
                            L"status Downloading: two.dat",
                            L"progress 2 of 5",
                            L"status Downloading: three.dat",
                            L"status Error downloading: three.dat",
                            L"finished 0"};
    EXPECT_EQ(run.messages, expected);
    for (const std::wstring& call : run.touched) {
        EXPECT_EQ(call.find(L"four"), std::wstring::npos) << call;
        EXPECT_EQ(call.find(L"five"), std::wstring::npos) << call;
    }
    EXPECT_EQ(run.cancelChecks, 3);
}

TEST(UpdateRunFailure, AFolderWhereAFileShouldBeEndsAsAFailedDownload) {
    // A folder exists, its digest is empty, and the download cannot create the file.
    FakeRun run;
    run.served[kManifestAddress] = Manifest({"system"});
    run.localDigests[Local(L"system")] = "";
    run.failingDownloads.insert("https://updates.test/updater/system");
    EXPECT_FALSE(run.Run());
    const Lines expected = {kChecking, L"progress 0 of 1", L"status Downloading: system",
                            L"status Error downloading: system", L"finished 0"};
    EXPECT_EQ(run.messages, expected);
}

TEST(UpdateRunDigests, OnlyAnEqualNonEmptyLowerCaseDigestLeavesAFileAlone) {
    const struct {
        const char* localDigest;  // nullptr: no file
        const char* manifestDigest;
        bool downloaded;
    } cases[] = {
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f72", false},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983CD24FB0D6963F7D28E17F72", true},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f7", true},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f72 ", true},
        {nullptr, "900150983cd24fb0d6963f7d28e17f72", true},
        // An unreadable file has no digest; it must not pass for a manifest line with none either.
        {"", "", true},
        {"", "900150983cd24fb0d6963f7d28e17f72", true},
    };
    for (const auto& c : cases) {
        // Twice: an upper-case digest is fetched on every run, not just the first.
        for (int pass = 0; pass < 2; ++pass) {
            FakeRun run;
            run.served[kManifestAddress] = "x.dat|" + std::string(c.manifestDigest) + "\n";
            if (c.localDigest)
                run.localDigests[Local(L"x.dat")] = c.localDigest;
            EXPECT_TRUE(run.Run());
            const bool downloaded =
                std::find(run.messages.begin(), run.messages.end(), L"status Downloading: x.dat") != run.messages.end();
            EXPECT_EQ(downloaded, c.downloaded) << c.manifestDigest << " pass " << pass;
        }
    }
}

TEST(UpdateRunCancel, NoticedDuringTheManifestFetchEndsBeforeTheFirstEntry) {
    FakeRun run;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat"});
    run.onFetch = [&run] { run.cancelRequested = true; };
    EXPECT_FALSE(run.Run());
    const Lines expected = {kChecking, L"progress 0 of 3", kCancelled, L"finished 0"};
    EXPECT_EQ(run.messages, expected);
    EXPECT_TRUE(run.touched.empty());
}

TEST(UpdateRunCancel, TakesEffectBeforeTheNextEntrySoALastEntryCancelCompletes) {
    const struct {
        const char* cancelDuring;
        Lines expected;
        bool complete;
    } cases[] = {
        {"https://updates.test/updater/b.dat",
         {kChecking, L"progress 0 of 3", L"status Downloading: a.dat", L"progress 1 of 3", L"status Downloading: b.dat",
          L"progress 2 of 3", kCancelled, L"finished 0"},
         false},
        {"https://updates.test/updater/c.dat",
         {kChecking, L"progress 0 of 3", L"status Downloading: a.dat", L"progress 1 of 3", L"status Downloading: b.dat",
          L"progress 2 of 3", L"status Downloading: c.dat", L"progress 3 of 3", kComplete, L"finished 1"},
         true},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat"});
        const std::string cancelDuring = c.cancelDuring;
        run.onDownload = [&run, cancelDuring](const std::string& address) {
            if (address == cancelDuring)
                run.cancelRequested = true;
        };
        EXPECT_EQ(run.Run(), c.complete) << c.cancelDuring;
        EXPECT_EQ(run.messages, c.expected) << c.cancelDuring;
    }
}

TEST(UpdateRunPaths, SystemL2IniIsShownFetchedAndStoredWhereExpected) {
    FakeRun run;
    run.served[kManifestAddress] = "system/l2.ini|900150983cd24fb0d6963f7d28e17f72\n";
    EXPECT_TRUE(run.Run());
    const Lines touched = {L"exists C:\\Games\\L2\\system\\l2.ini",
                           L"download https://updates.test/updater/system/l2.ini -> C:\\Games\\L2\\system\\l2.ini"};
    EXPECT_EQ(run.touched, touched);
    EXPECT_EQ(run.messages.at(2), L"status Downloading: system/l2.ini");
    EXPECT_EQ(run.downloadDigests, std::vector<std::string>{"900150983cd24fb0d6963f7d28e17f72"});
}

TEST(UpdateRunPaths, BytesAboveAsciiWidenForTheTextButStayRawInTheAddress) {
    FakeRun run;
    const std::string path = "maps/\xC3\xA9t\xE9.unr";
    run.served[kManifestAddress] = path + "|900150983cd24fb0d6963f7d28e17f72\n";
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.downloadAddresses, std::vector<std::string>{"https://updates.test/updater/" + path});
    ASSERT_EQ(run.downloadPaths.size(), 1u);
    const std::vector<uint16_t> widened = {'m', 'a', 'p', 's', '/', 0xFFC3, 0xFFA9, 't', 0xFFE9, '.', 'u', 'n', 'r'};
    std::vector<uint16_t> local = {'\\', 'm', 'a', 'p', 's', '\\'};
    local.insert(local.end(), widened.begin() + 5, widened.end());
    EXPECT_EQ(CodeUnits(run.downloadPaths[0].substr(std::wstring(kFolder).size())), local);
    std::vector<uint16_t> status = CodeUnits(L"status Downloading: ");
    status.insert(status.end(), widened.begin(), widened.end());
    EXPECT_EQ(CodeUnits(run.messages.at(2)), status);
}

TEST(UpdateRunRefusal, APathThatCouldLeaveTheFolderFailsBeforeAnythingIsTouched) {
    for (const char* path : {"../l2.exe", "system/../../x.dat", "C:/Windows/x.dll", "/etc/x", "\\\\server\\share\\x",
                             "system/CON", "l2.ini:stream", "a\\..\\..\\b"}) {
        FakeRun run;
        run.served[kManifestAddress] = "ok.dat|900150983cd24fb0d6963f7d28e17f72\n" + std::string(path) +
                                       "|900150983cd24fb0d6963f7d28e17f72\nlater.dat|x\n";
        EXPECT_FALSE(run.Run()) << path;
        const Lines expected = {kChecking,
                                L"progress 0 of 3",
                                L"status Downloading: ok.dat",
                                L"progress 1 of 3",
                                L"status Error downloading: " + WidenAscii(path),
                                L"finished 0"};
        EXPECT_EQ(run.messages, expected) << path;
        const Lines touched = {L"exists C:\\Games\\L2\\ok.dat",
                               L"download https://updates.test/updater/ok.dat -> C:\\Games\\L2\\ok.dat"};
        EXPECT_EQ(run.touched, touched) << path;
    }
}

TEST(UpdateRunCleanUp, OurLeftoversGoBeforeTheirEntryAndTheUnlistedOnlyAfterACompleteRun) {
    const std::wstring part = L".vhl\u2193part";
    const struct {
        const char* name;
        bool cancelAfterFirst;
        Lines cleaned;
    } cases[] = {
        {"complete",
         false,
         {L"delete " + Local(L"System\\A.DAT") + part, L"delete " + Local(L"old.dat") + part,
          L"delete " + Local(L"system\\gone.u") + part, L"delete " + Local(L"system\\c.dat") + part}},
        {"cancelled", true, {L"delete " + Local(L"System\\A.DAT") + part}},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.served[kManifestAddress] = Manifest({"system/a.dat", "b.dat", "system/c.dat"});
        run.temporaryFiles[Local(L"system")] = {Local(L"System\\A.DAT") + part, Local(L"system\\gone.u") + part,
                                                Local(L"system\\c.dat") + part};
        run.resumable.insert(Local(L"system\\c.dat") + part);  // kept for its download
        run.temporaryFiles[kFolder] = {Local(L"old.dat") + part};
        run.onDownload = [&](const std::string&) {
            run.cancelRequested = c.cancelAfterFirst;
            // The listed leftover is gone before its entry is looked at.
            EXPECT_EQ(run.cleaned.size(), 1u) << c.name;
        };
        run.Run();
        EXPECT_EQ(run.listedFolders, (Lines{kFolder, Local(L"system")})) << c.name;
        EXPECT_EQ(run.cleaned, c.cleaned) << c.name;
    }
}

TEST(UpdateRunRetries, OnlyPassingFaultsAreTriedAgainAfterOneThenTwoSecondsUnlessCancelled) {
    const std::string address = "https://updates.test/updater/a.dat";
    const DownloadOutcome kNow = DownloadOutcome::kFailedForNow;
    const struct {
        const char* name;
        std::vector<DownloadOutcome> outcomes;
        bool cancelInWait;
        std::wstring end;
        size_t tries;
        std::vector<uint32_t> waits;
    } cases[] = {
        {"a 500, then the file", {kNow, DownloadOutcome::kFetched}, false, kComplete, 2, {1000}},
        {"three passing faults", {kNow, kNow, kNow}, false, L"status Error downloading: a.dat", 3, {1000, 2000}},
        {"a 404", {DownloadOutcome::kFailed}, false, L"status Error downloading: a.dat", 1, {}},
        {"CANCEL in the wait", {kNow, DownloadOutcome::kFetched}, true, kCancelled, 1, {}},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.served[kManifestAddress] = Manifest({"a.dat"});
        run.outcomes[address] = c.outcomes;
        run.cancelInWait = c.cancelInWait;
        run.Run();
        // The status line says "Downloading" through every try, then the run's end.
        ASSERT_GE(run.messages.size(), 3u) << c.name;
        EXPECT_EQ(run.messages[2], L"status Downloading: a.dat") << c.name;
        EXPECT_EQ(run.messages[run.messages.size() - 2], c.end) << c.name;
        EXPECT_EQ(run.downloadAddresses.size(), c.tries) << c.name;
        EXPECT_EQ(run.waits, c.waits) << c.name;
    }
}

TEST(UpdateRunMemory, RunningOutEndsTheRunWithTheTextOfTheStepThatFailed) {
    FakeRun fetchFails;
    fetchFails.onFetch = [] { throw std::bad_alloc(); };
    EXPECT_FALSE(fetchFails.Run());
    EXPECT_EQ(fetchFails.messages,
              (Lines{kChecking, L"status Error: Cannot connect to update server.", L"finished 0"}));

    // Before the first entry: the sweep of earlier downloads or the path list.
    FakeRun sweepFails;
    sweepFails.served[kManifestAddress] = Manifest({"a.dat", "b.dat"});
    sweepFails.sweepRunsOutOfMemory = true;
    EXPECT_FALSE(sweepFails.Run());
    EXPECT_EQ(sweepFails.messages,
              (Lines{kChecking, L"progress 0 of 2", L"status Error: Cannot connect to update server.", L"finished 0"}));
    EXPECT_TRUE(sweepFails.touched.empty());

    FakeRun downloadFails;
    downloadFails.served[kManifestAddress] = Manifest({"a.dat", "b.dat"});
    downloadFails.onDownload = [](const std::string& address) {
        if (address.find("b.dat") != std::string::npos)
            throw std::bad_alloc();
    };
    EXPECT_FALSE(downloadFails.Run());
    EXPECT_EQ(downloadFails.messages,
              (Lines{kChecking, L"progress 0 of 2", L"status Downloading: a.dat", L"progress 1 of 2",
                     L"status Downloading: b.dat", L"status Error downloading: b.dat", L"finished 0"}));
}

TEST(UpdateRunAhead, DigestsComputedAheadMeetTheirOwnEntriesInManifestOrder) {
    FakeRun run;
    run.digestThreads = 2;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "a.dat", "d.dat"});
    run.localDigests[Local(L"a.dat")] = "0123456789abcdef0123456789abcdef";  // differs: fetched
    run.localDigests[Local(L"b.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    run.localDigests[Local(L"d.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_TRUE(run.Run());
    // a.dat listed again after its download is read again, not taken from before the download.
    const Lines expected = {kChecking,          L"progress 0 of 5", L"status Downloading: a.dat",
                            L"progress 1 of 5", L"progress 2 of 5", L"status Downloading: c.dat",
                            L"progress 3 of 5", L"progress 4 of 5", L"progress 5 of 5",
                            kComplete,          L"finished 1"};
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(run.downloadAddresses,
              (std::vector<std::string>{"https://updates.test/updater/a.dat", "https://updates.test/updater/c.dat"}));
}

TEST(UpdateRunAhead, CancelAndFailureEndWithoutWaitingForTheDigestsAhead) {
    for (const bool cancel : {true, false}) {
        FakeRun run;
        run.digestThreads = 2;
        run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat"});
        for (const wchar_t* path : {L"b.dat", L"c.dat", L"d.dat"})
            run.localDigests[Local(path)] = "x";
        // Digests ahead that would take long, unless told to stop; bounded, so that a fault
        // fails the test instead of hanging it.
        run.onDigest = [](const std::wstring& path, const std::atomic<bool>& stop) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (path != Local(L"a.dat") && !stop && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        const auto started = std::chrono::steady_clock::now();
        run.onDownload = [&run, cancel](const std::string&) { run.cancelRequested = cancel; };
        if (!cancel)
            run.failingDownloads.insert("https://updates.test/updater/a.dat");
        EXPECT_FALSE(run.Run());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(run.messages.back(), L"finished 0");
        EXPECT_EQ(run.messages.end()[-2], cancel ? kCancelled : L"status Error downloading: a.dat");
    }
}

TEST(UpdateRunAhead, CancelWhileTheRunWaitsForADigestEndsTheRunWithoutWaitingForIt) {
    FakeRun run;
    run.digestThreads = 2;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat"});
    for (const wchar_t* path : {L"a.dat", L"b.dat"})
        run.localDigests[Local(path)] = "d41d8cd98f00b204e9800998ecf8427e";
    // a.dat's digest is long: CANCEL is pressed while it is read, and it ends only when the run
    // stops the digests ahead (or after three seconds, for the test to fail rather than hang).
    std::atomic<bool> endedByTheRun{false};
    run.onDigest = [&](const std::wstring& path, const std::atomic<bool>& stop) {
        if (path != Local(L"a.dat"))
            return;
        run.cancelRequested = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!stop && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        endedByTheRun = stop.load();
    };
    EXPECT_FALSE(run.Run());
    EXPECT_TRUE(endedByTheRun);
    EXPECT_EQ(run.messages, (Lines{kChecking, L"progress 0 of 2", kCancelled, L"finished 0"}));
}

TEST(UpdateRunProgress, AHeldFigureGoesOutBeforeTheRunWaitsForADigest) {
    FakeRun run;
    run.windowReadsNothing = true;
    run.digestThreads = 1;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat"});
    for (const wchar_t* path : {L"a.dat", L"b.dat", L"c.dat"})
        run.localDigests[Local(path)] = "d41d8cd98f00b204e9800998ecf8427e";
    // c.dat's digest is long: it ends once the window could show 2 of 3 (at most two seconds).
    std::atomic<bool> shownBeforeTheWait{false};
    run.onDigest = [&](const std::wstring& path, const std::atomic<bool>&) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (path == Local(L"c.dat") && run.lastPostedDone < 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (path == Local(L"c.dat"))
            shownBeforeTheWait = run.lastPostedDone == 2;
    };
    EXPECT_TRUE(run.Run());
    EXPECT_TRUE(shownBeforeTheWait);
    // Whatever else the digest thread's pace let through, the end's figures are exact.
    EXPECT_EQ(Lines(run.messages.end() - 3, run.messages.end()), (Lines{L"progress 3 of 3", kComplete, L"finished 1"}));
}

TEST(UpdateRunProgress, AWindowThatReadsNothingGetsTheExactFigureBeforeTheLastText) {
    FakeRun run;
    run.windowReadsNothing = true;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat"});
    run.localDigests[Local(L"a.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    run.localDigests[Local(L"b.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    run.localDigests[Local(L"d.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_TRUE(run.Run());
    // The first report is read by nobody: every later one waits, the figure goes out before the
    // last text, and the texts that waited are gone, replaced by later ones.
    const Lines expected = {kChecking, L"progress 4 of 4", kComplete, L"finished 1"};
    EXPECT_EQ(run.messages, expected);
}

TEST(UpdateRunProgress, TheWindowGetsAFigureAndATextATickAndTheLatestTextInListOrder) {
    FakeRun run;
    run.windowReadsNothing = true;
    std::vector<std::string> paths;
    for (char name = 'a'; name <= 'l'; ++name)
        paths.push_back(std::string(1, name) + ".dat");
    run.served[kManifestAddress] = Manifest(paths);
    // Every download takes three steps, with a wait after each; the window reads at every other wait.
    run.onStep = [](const std::string&, int step, FetchProgress&, const std::atomic<bool>&, DownloadOutcome*) {
        return step >= 3;
    };
    int waits = 0;
    UpdateOperations operations = run.Operations();
    operations.waitForTransfers = [&](uint32_t milliseconds) {
        run.nowMs += milliseconds;
        if (++waits % 2 == 0) {
            run.unread = false;
            run.messages.push_back(L"tick");
        }
    };
    EXPECT_TRUE(RunUpdate(kFolder, run.roots, operations));
    size_t figures = 0;
    size_t textsThisTick = 0;
    std::wstring lastText;
    size_t texts = 0;
    for (size_t i = 0; i + 2 < run.messages.size(); ++i) {  // the last two are the end's figure and text
        const std::wstring& line = run.messages[i];
        if (line == L"tick") {
            figures = textsThisTick = 0;
            continue;
        }
        const bool isText = line.compare(0, 7, L"status ") == 0;
        EXPECT_LE(isText ? ++textsThisTick : ++figures, 1u) << "report " << i;
        if (line.compare(0, 19, L"status Downloading:") == 0) {
            EXPECT_GT(line, lastText) << "texts in list order, each once";
            lastText = line;
            ++texts;
        }
    }
    EXPECT_GE(texts, 2u);
    EXPECT_LT(texts, paths.size()) << "some texts were replaced by later ones";
    const auto lastFigure = std::find_if(run.messages.rbegin(), run.messages.rend(),
                                         [](const std::wstring& line) { return line.compare(0, 9, L"progress ") == 0; });
    ASSERT_NE(lastFigure, run.messages.rend());
    EXPECT_EQ(*lastFigure, L"progress 12 of 12");
    EXPECT_EQ(run.messages.back(), kComplete);
}

std::string Address(const std::string& path) {
    return "https://updates.test/updater/" + path;
}

// A run of `total` entries up to the "Downloading" text of the third.
Lines UpToTheThird(int total) {
    const std::wstring of = L" of " + std::to_wstring(total);
    return {kChecking,
            L"progress 0" + of,
            L"status Downloading: a.dat",
            L"progress 1" + of,
            L"status Downloading: b.dat",
            L"progress 2" + of,
            L"status Downloading: c.dat"};
}

TEST(UpdateRunAtOnce, FilesFetchedTogetherGoInPlaceInListOrderWithTheTextsOfOneAtATime) {
    FakeRun run;
    run.transfersAtOnce = 3;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"});
    std::set<std::string> ended;
    // a.dat ends only after d.dat and e.dat, fetched behind it, have ended.
    bool overtaken = false;
    run.onStep = [&](const std::string& address, int step, FetchProgress&, const std::atomic<bool>&, DownloadOutcome*) {
        if (address == Address("a.dat") && !(ended.count(Address("d.dat")) && ended.count(Address("e.dat"))) &&
            step < 100)
            return false;
        overtaken = overtaken || (address == Address("a.dat") && step < 100);
        ended.insert(address);
        return true;
    };
    EXPECT_TRUE(run.Run());
    EXPECT_TRUE(overtaken);
    Lines expected = UpToTheThird(5);
    for (const wchar_t* line : {L"progress 3 of 5", L"status Downloading: d.dat", L"progress 4 of 5",
                                L"status Downloading: e.dat", L"progress 5 of 5"})
        expected.push_back(line);
    expected.push_back(kComplete);
    expected.push_back(L"finished 1");
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(run.installed,
              (Lines{Local(L"a.dat"), Local(L"b.dat"), Local(L"c.dat"), Local(L"d.dat"), Local(L"e.dat")}));
    EXPECT_TRUE(run.cleaned.empty());
}

TEST(UpdateRunAtOnce, TheFirstFailureInListOrderEndsTheRunAndWhatCameAfterItGoes) {
    const std::wstring part = L".vhl\u2193part";
    const struct {
        const char* name;
        bool cancel;  // CANCEL pressed while c.dat comes, instead of its end
        DownloadOutcome cEnds;
        Lines end;
        Lines cleaned;
    } cases[] = {
        // d.dat came whole, e.dat and f.dat were stopped midway: a part of a file of 4 MiB keeps
        // its record, one a byte smaller goes.
        {"a 404",
         false,
         DownloadOutcome::kFailed,
         {L"status Error downloading: c.dat", L"finished 0"},
         {L"delete " + Local(L"d.dat") + part, L"delete " + Local(L"f.dat") + part}},
        // CANCEL keeps the parts that arrived, as for the file under way, but no whole file it will not install.
        {"CANCEL", true, DownloadOutcome::kFetched, {kCancelled, L"finished 0"}, {L"delete " + Local(L"d.dat") + part}},
        // A full disk keeps no part at all.
        {"no room",
         false,
         DownloadOutcome::kNoRoom,
         {L"status Error: Not enough disk space: c.dat", L"finished 0"},
         {L"delete " + Local(L"c.dat") + part, L"delete " + Local(L"d.dat") + part, L"delete " + Local(L"e.dat") + part,
          L"delete " + Local(L"f.dat") + part}},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.transfersAtOnce = 4;
        run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat", "e.dat", "f.dat"});
        if (!c.cancel)
            run.outcomes[Address("c.dat")] = {c.cEnds};
        std::set<std::string> seen;
        run.onStep = [&](const std::string& address, int, FetchProgress& progress, const std::atomic<bool>& stop,
                         DownloadOutcome* outcome) {
            seen.insert(address);
            if (address == Address("e.dat") || address == Address("f.dat")) {
                // Under way until the run stops them.
                progress.length = address == Address("e.dat") ? 4 << 20 : (4 << 20) - 1;
                progress.received = 1000;
                *outcome = DownloadOutcome::kCancelled;
                return stop.load();
            }
            if (address != Address("c.dat"))
                return true;
            // c.dat ends once d.dat has come and e.dat and f.dat are under way.
            if (!seen.count(Address("d.dat")) || !seen.count(Address("e.dat")) || !seen.count(Address("f.dat")))
                return false;
            if (!c.cancel)
                return true;
            run.cancelRequested = true;
            *outcome = DownloadOutcome::kCancelled;
            return stop.load();
        };
        EXPECT_FALSE(run.Run()) << c.name;
        Lines expected = UpToTheThird(6);
        expected.insert(expected.end(), c.end.begin(), c.end.end());
        EXPECT_EQ(run.messages, expected) << c.name;
        EXPECT_EQ(run.installed, (Lines{Local(L"a.dat"), Local(L"b.dat")})) << c.name;
        std::sort(run.cleaned.begin(), run.cleaned.end());
        EXPECT_EQ(run.cleaned, c.cleaned) << c.name;
    }
}

TEST(UpdateRunAtOnce, TheBarMovesWithTheBytesOfTheFileUnderWayAndNeverBack) {
    const Lines expected = {kChecking,
                            L"progress 0 of 2",
                            L"status Downloading: a.dat",
                            L"progress 0.250 of 2",
                            L"progress 0.500 of 2",
                            L"progress 0.750 of 2",
                            L"progress 0.999 of 2",
                            L"progress 1 of 2",
                            L"status Downloading: b.dat",
                            L"progress 2 of 2",
                            kComplete,
                            L"finished 1"};
    // a.dat's 4,000 bytes come 1,000 a step; in the second case a first try brings 3,000 and
    // fails, and the retry starts again from byte 0: the bar waits until it passes 3,000.
    for (const bool retried : {false, true}) {
        FakeRun run;
        run.transfersAtOnce = 2;
        run.served[kManifestAddress] = Manifest({"a.dat", "b.dat"});
        if (retried)
            run.outcomes[Address("a.dat")] = {DownloadOutcome::kFailedForNow, DownloadOutcome::kFetched};
        run.onStep = [&](const std::string& address, int step, FetchProgress& progress, const std::atomic<bool>&,
                         DownloadOutcome* outcome) {
            if (address != Address("a.dat"))
                return true;
            const bool firstTry = *outcome == DownloadOutcome::kFailedForNow;
            progress.length = 4000;
            progress.received = std::min(step * 1000, firstTry ? 3000 : 4000);
            return step == (firstTry ? 4 : 5);
        };
        EXPECT_TRUE(run.Run()) << retried;
        EXPECT_TRUE(std::is_sorted(run.figures.begin(), run.figures.end())) << retried;
        EXPECT_EQ(run.messages, expected) << retried;
        EXPECT_EQ(run.downloadAddresses.size(), retried ? 3u : 2u);
    }
}

TEST(UpdateRunAtOnce, ALaterFailureWaitsForTheEarlierFilesStillArriving) {
    FakeRun run;
    run.transfersAtOnce = 4;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"});
    run.failingDownloads.insert(Address("d.dat"));
    // d.dat is refused at its first step; c.dat, before it in the list, goes on for five more.
    int stepsAfterTheRefusal = -1;
    run.onStep = [&](const std::string& address, int, FetchProgress&, const std::atomic<bool>&, DownloadOutcome*) {
        if (address == Address("d.dat"))
            stepsAfterTheRefusal = 0;
        if (address != Address("c.dat"))
            return true;
        return stepsAfterTheRefusal >= 0 && ++stepsAfterTheRefusal > 5;
    };
    EXPECT_FALSE(run.Run());
    Lines expected = UpToTheThird(5);
    for (const wchar_t* line :
         {L"progress 3 of 5", L"status Downloading: d.dat", L"status Error downloading: d.dat", L"finished 0"})
        expected.push_back(line);
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(run.installed, (Lines{Local(L"a.dat"), Local(L"b.dat"), Local(L"c.dat")}));
}

TEST(UpdateRunAtOnce, OneFileInTwoSpellingsIsAskedForInTheFirstAndAFileBelowAnotherWaitsForIt) {
    // The second spelling is fetched as the first, as a path listed twice exactly would be.
    FakeRun spellings;
    spellings.transfersAtOnce = 3;
    spellings.served[kManifestAddress] = Manifest({"System/A.txt", "b.dat", "system/a.TXT"});
    spellings.Run();
    EXPECT_EQ(spellings.downloadAddresses,
              (std::vector<std::string>{Address("System/A.txt"), Address("b.dat"), Address("System/A.txt")}));

    // "a/b" would make a folder where the file "a" is still to come: it starts only once "a" is in place.
    FakeRun below;
    below.transfersAtOnce = 3;
    below.served[kManifestAddress] = Manifest({"a", "a/b", "c"});
    bool aWasThere = false;
    below.onDownload = [&](const std::string& address) {
        if (address == Address("a/b"))
            aWasThere = !below.installed.empty() && below.installed[0] == Local(L"a");
    };
    EXPECT_TRUE(below.Run());
    EXPECT_TRUE(aWasThere);
    EXPECT_EQ(below.downloadAddresses.size(), 3u);
}

TEST(UpdateRunAtOnce, AFileListedTwiceIsReadAgainAfterItsFirstDownloadNotFetchedTwice) {
    FakeRun run;
    run.transfersAtOnce = 3;
    run.digestThreads = 2;
    run.served[kManifestAddress] = Manifest({"a.dat", "b.dat", "a.dat", "c.dat"});
    // a.dat takes a while: its second entry is looked at meanwhile, but must wait for the first.
    run.onStep = [](const std::string& address, int step, FetchProgress&, const std::atomic<bool>&, DownloadOutcome*) {
        return address != Address("a.dat") || step == 10;
    };
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.downloadAddresses, (std::vector<std::string>{Address("a.dat"), Address("b.dat"), Address("c.dat")}));
    EXPECT_EQ(run.installed, (Lines{Local(L"a.dat"), Local(L"b.dat"), Local(L"c.dat")}));
}

}  // namespace

namespace {

const char kMirror[] = "https://mirror.test";
const char kMirrorList[] = "https://mirror.test/updater/filelist.txt";

TEST(UpdateRunRoots, TheListComesFromTheFirstRootThatAnswersAndItsFilesFromThereFirst) {
    const std::string list = Manifest({"a.dat"});
    const struct {
        const char* name;
        ListAnswer::Kind mainAnswer;
        std::vector<std::string> listRequests;
        std::vector<std::string> downloads;
        std::wstring end;
    } cases[] = {
        {"main root down",
         ListAnswer::Kind::kUnreachable,
         {kManifestAddress, kMirrorList},
         {"https://mirror.test/updater/a.dat"},
         kComplete},
        {"main root refuses",
         ListAnswer::Kind::kRefused,
         {kManifestAddress},
         {},
         L"status Error: Cannot connect to update server."},
        {"main root answers",
         ListAnswer::Kind::kList,
         {kManifestAddress},
         {"https://updates.test/updater/a.dat"},
         kComplete},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.roots = {kRoot, kMirror};
        run.served[kManifestAddress] = list;
        run.served[kMirrorList] = list;
        if (c.mainAnswer != ListAnswer::Kind::kList)
            run.listAnswers[kManifestAddress] = c.mainAnswer;
        run.Run();
        EXPECT_EQ(run.listRequests, c.listRequests) << c.name;
        EXPECT_EQ(run.downloadAddresses, c.downloads) << c.name;
        EXPECT_EQ(run.messages.end()[-2], c.end) << c.name;
    }
}

TEST(UpdateRunRoots, ABare304ToARequestThatNamedNoVersionCountsAsUnreachable) {
    const std::string list = Manifest({"a.dat"});
    const struct {
        const char* name;
        bool signedBuild;
        std::vector<std::string> roots;
        std::vector<std::string> listRequests;
        std::wstring end;
    } cases[] = {
        {"one root", false, {kRoot}, {kManifestAddress}, L"status Error: Cannot connect to update server."},
        // Nothing kept could ever pass the signature: the same root must not be asked again.
        {"one root, signed", true, {kRoot}, {kManifestAddress}, L"status Error: Cannot connect to update server."},
        {"a mirror", false, {kRoot, kMirror}, {kManifestAddress, kMirrorList}, kComplete},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.signedBuild = c.signedBuild;
        run.roots = c.roots;
        run.served[kManifestAddress] = list;
        run.served[kMirrorList] = list;
        run.signatureFiles[std::string(kManifestAddress) + ".sig"] = "1:" + list;
        run.signatureFiles[std::string(kMirrorList) + ".sig"] = "1:" + list;
        run.listAnswers[kManifestAddress] = ListAnswer::Kind::kNotModified;
        run.Run();
        EXPECT_EQ(run.listRequests, c.listRequests) << c.name;
        EXPECT_EQ(run.messages.end()[-2], c.end) << c.name;
        EXPECT_TRUE(run.keptEvents.empty() || c.roots.size() > 1) << c.name;
    }
}

TEST(UpdateRunRoots, AFileThatFailsOnOneRootIsAskedOfTheOthersBeforeTheRunWaits) {
    const std::string main = "https://updates.test/updater/a.dat";
    const std::string mirror = "https://mirror.test/updater/a.dat";
    const DownloadOutcome kNow = DownloadOutcome::kFailedForNow;
    const DownloadOutcome kNo = DownloadOutcome::kFailed;
    const struct {
        const char* name;
        std::vector<DownloadOutcome> onMain;
        std::vector<DownloadOutcome> onMirror;
        size_t tries;
        std::vector<uint32_t> waits;
        std::wstring end;
    } cases[] = {
        {"a 500 on the main root", {kNow}, {}, 2, {}, kComplete},
        // A mirror that lags behind sends another file: its digest fails, and the main root has it.
        {"a wrong copy on the mirror", {kNow, DownloadOutcome::kFetched}, {kNo}, 3, {1000}, kComplete},
        {"missing everywhere", {kNo}, {kNo}, 2, {}, L"status Error downloading: a.dat"},
        {"down everywhere",
         {kNow, kNow, kNow},
         {kNow, kNow, kNow},
         6,
         {1000, 2000},
         L"status Error downloading: a.dat"},
        {"no room: no other root can help",
         {DownloadOutcome::kNoRoom},
         {},
         1,
         {},
         L"status Error: Not enough disk space: a.dat"},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.roots = {kRoot, kMirror};
        run.served[kManifestAddress] = Manifest({"a.dat"});
        run.outcomes[main] = c.onMain;
        run.outcomes[mirror] = c.onMirror;
        run.Run();
        EXPECT_EQ(run.downloadAddresses.size(), c.tries) << c.name;
        EXPECT_EQ(run.downloadAddresses.front(), main) << c.name;
        EXPECT_EQ(run.waits, c.waits) << c.name;
        EXPECT_EQ(run.messages.end()[-2], c.end) << c.name;
    }
}

TEST(UpdateRunKeptList, AnUnchangedListIsTakenFromTheCopyKeptAndAChangedOneReplacesIt) {
    const std::string list = Manifest({"a.dat"});
    FakeRun run;
    run.roots = {kRoot, kMirror};
    run.served[kManifestAddress] = list;
    run.listValidators[kManifestAddress] = "\"v1\"";
    run.localDigests[Local(L"a.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.keptEvents, Lines{L"keep https://updates.test \"v1\""});

    // The server says it has not changed: the kept copy is the list.
    run.listRequests.clear();
    run.keptEvents.clear();
    run.served[kManifestAddress] = "";  // nothing would come but the 304
    run.listAnswers[kManifestAddress] = ListAnswer::Kind::kNotModified;
    run.messages.clear();
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.listRequests, std::vector<std::string>{std::string(kManifestAddress) + " if \"v1\""});
    EXPECT_TRUE(run.keptEvents.empty());
    EXPECT_EQ(run.messages.end()[-2], kComplete);

    // The main root is down: the mirror is asked for its own list, without the main root's validator.
    run.listRequests.clear();
    run.listAnswers[kManifestAddress] = ListAnswer::Kind::kUnreachable;
    run.served[kMirrorList] = list;
    EXPECT_TRUE(run.Run());
    EXPECT_EQ(run.listRequests, (std::vector<std::string>{std::string(kManifestAddress) + " if \"v1\"", kMirrorList}));
    // It came without a validator: the kept one, which might name a version long gone, goes.
    EXPECT_EQ(run.keptEvents, Lines{L"drop"});
}

TEST(UpdateRunKeptList, ASignedListIsCheckedAgainWhenKeptAndNeverRolledBack) {
    const std::string list = Manifest({"a.dat"});
    const std::string sig = std::string(kManifestAddress) + ".sig";
    const struct {
        const char* name;
        uint64_t accepted;
        const char* served;   // the signature file on the server
        const char* keptSig;  // nullptr: nothing kept
        std::wstring end;
        Lines events;
        size_t signatureRequests;
    } cases[] = {
        {"a higher sequence", 2, "3:", nullptr, kComplete, {L"accept 3", L"keep https://updates.test \"v\""}, 1},
        {"the same sequence again", 3, "3:", nullptr, kComplete, {L"keep https://updates.test \"v\""}, 1},
        {"a lower sequence, validly signed",
         2,
         "1:",
         nullptr,
         L"status Error: The update list is older than the one installed.",
         {},
         1},
        {"a kept copy, still signed", 3, "3:", "3:", kComplete, {}, 0},
        // Its signature no longer passes: it goes, and the list is fetched whole.
        {"a kept copy, its signature damaged",
         3,
         "3:",
         "3x",
         kComplete,
         {L"drop", L"keep https://updates.test \"v\""},
         1},
    };
    for (const auto& c : cases) {
        FakeRun run;
        run.signedBuild = true;
        run.accepted = c.accepted;
        run.served[kManifestAddress] = list;
        run.listValidators[kManifestAddress] = "\"v\"";
        run.signatureFiles[sig] = c.served + list;
        if (c.keptSig) {
            run.kept.reset(new KeptList{kRoot, "\"v\"", list, c.keptSig + list});
            run.listAnswers[kManifestAddress] = ListAnswer::Kind::kNotModified;
        }
        // A kept copy that fails is fetched whole from the same root: the 304 is not sent again.
        if (c.keptSig && std::string(c.keptSig) == "3x")
            run.onFetch = [&run] {
                if (!run.listRequests.empty())
                    run.listAnswers.clear();
            };
        run.localDigests[Local(L"a.dat")] = "d41d8cd98f00b204e9800998ecf8427e";
        run.Run();
        EXPECT_EQ(run.messages.end()[-2], c.end) << c.name;
        EXPECT_EQ(run.keptEvents, c.events) << c.name;
        EXPECT_EQ(run.signatureRequests.size(), c.signatureRequests) << c.name;
        EXPECT_EQ(run.accepted, std::max<uint64_t>(c.accepted, c.end == kComplete ? 3 : 0)) << c.name;
    }
}

constexpr uint64_t kSecond = kFileTimeTicksPerSecond;
constexpr uint64_t kDay = 24 * 3600 * kSecond;
const std::string kDigestA = "0cc175b9c0f1b6a831c399e269772661";
const std::string kDigestB = "92eb5ffee6ae2fec3ad71c777531578f";

// The files the run read, in order: the paths of its digest calls.
Lines DigestsRead(const FakeRun& run) {
    Lines read;
    for (const std::wstring& line : run.touched) {
        if (line.compare(0, 7, L"digest ") == 0)
            read.push_back(line.substr(7));
    }
    return read;
}

// A folder of three up-to-date files written an hour before the first start, whose record the
// runs keep. Each Start is a new run at the given time, with what the last one left.
struct KeptFolder {
    FakeRun run;
    KeptFolder() {
        run.keepsDigests = true;
        run.served[kManifestAddress] = "a.dat|" + kDigestA + "\r\nsub/b.dat|" + kDigestB + "\r\nc.dat|" + kDigestA + "\r\n";
        run.fileTime = 400 * kDay;
        for (const wchar_t* name : {L"a.dat", L"sub\\b.dat", L"c.dat"}) {
            run.localDigests[Local(name)] = name == std::wstring(L"sub\\b.dat") ? kDigestB : kDigestA;
            run.fileStates[Local(name)] = {100, run.fileTime - 3600 * kSecond, run.fileTime - 7200 * kSecond};
        }
    }
    Lines Start(uint64_t at) {
        run.fileTime = at;
        run.listRequests.clear();
        run.touched.clear();
        run.messages.clear();
        run.Run();
        return DigestsRead(run);
    }
    uint64_t LastFullCheck() {
        DigestRecord record;
        return ParseDigestRecord(run.recordText, 3, &record) ? record.lastFullCheck : 0;
    }
};

TEST(DigestRecordRun, ASecondStartReadsOnlyFilesWhoseLengthOrTimesMovedAndTellsThePlayerTheSame) {
    // Digests read on the run's thread, and ahead on threads of their own (those the record
    // stands for are never handed to them).
    for (const size_t threads : {size_t{0}, size_t{2}}) {
        SCOPED_TRACE(threads);
        KeptFolder folder;
        folder.run.digestThreads = threads;
        const uint64_t first = folder.run.fileTime;
        EXPECT_EQ(folder.Start(first).size(), 3u) << "no record: every file is read";
        const Lines firstMessages = folder.run.messages;
        EXPECT_EQ(folder.run.recordWrites, 1);
        EXPECT_EQ(folder.LastFullCheck(), first);

        EXPECT_EQ(folder.Start(first + kDay), Lines()) << "nothing moved: nothing is read";
        EXPECT_EQ(folder.run.messages, firstMessages);
        EXPECT_EQ(folder.run.recordWrites, 1) << "an unchanged record is not written again";

        // Each field alone moves: only that file is read again, and found to differ, fetched.
        const struct {
            const char* name;
            FileState change;
        } moves[] = {{"length", {1, 0, 0}}, {"last write", {0, 1, 0}}, {"creation", {0, 0, 1}}};
        uint64_t at = first + 2 * kDay;
        for (const auto& move : moves) {
            FileState& state = folder.run.fileStates[Local(L"c.dat")];
            state = {state.length + move.change.length, state.lastWrite + move.change.lastWrite,
                     state.creation + move.change.creation};
            folder.run.localDigests[Local(L"c.dat")] = kDigestB;
            folder.run.installed.clear();
            EXPECT_EQ(folder.Start(at += kDay), Lines({Local(L"c.dat")})) << move.name;
            EXPECT_EQ(folder.run.installed, Lines({Local(L"c.dat")})) << move.name;
            // Installed now: its times are those of the rename, too fresh to trust at the next start,
            // which reads it once more; the start after that reads nothing.
            EXPECT_EQ(folder.Start(at += kUnsettledTicks), Lines({Local(L"c.dat")})) << move.name;
            EXPECT_EQ(folder.Start(at += kSecond), Lines()) << move.name;
        }
    }
}

TEST(DigestRecordRun, AFileTheListingShowsAbsentIsLookedForOnTheRunsThreadAndFetched) {
    KeptFolder folder;
    folder.run.digestThreads = 2;
    folder.run.localDigests.erase(Local(L"sub\\b.dat"));
    folder.run.fileStates.erase(Local(L"sub\\b.dat"));
    const Lines read = folder.Start(folder.run.fileTime);
    EXPECT_EQ(std::count(read.begin(), read.end(), Local(L"sub\\b.dat")), 0) << "no digest of a missing file";
    EXPECT_EQ(std::count(folder.run.touched.begin(), folder.run.touched.end(), L"exists " + Local(L"sub\\b.dat")), 1);
    EXPECT_EQ(folder.run.installed, Lines({Local(L"sub\\b.dat")}));
    EXPECT_EQ(folder.run.messages.back(), L"finished 1");
}

TEST(DigestRecordRun, AFileWrittenWithinTwoSecondsOfItsReadingIsReadAgainNextTime) {
    KeptFolder folder;
    const uint64_t first = folder.run.fileTime;
    folder.run.fileStates[Local(L"a.dat")].lastWrite = first - kUnsettledTicks + 1;
    folder.Start(first);
    EXPECT_EQ(folder.Start(first + kDay), Lines({Local(L"a.dat")}));
    EXPECT_EQ(folder.Start(first + 2 * kDay), Lines());
}

TEST(DigestRecordRun, BytesChangedUnderTheSameTimesWaitForTheWeeklyFullCheckWhichOnlyACompleteRunEnds) {
    KeptFolder folder;
    const uint64_t first = folder.run.fileTime;
    folder.Start(first);
    folder.run.localDigests[Local(L"sub\\b.dat")] = kDigestA;  // the times put back after the change

    EXPECT_EQ(folder.Start(first + 7 * kDay - 1), Lines());
    EXPECT_TRUE(folder.run.installed.empty());
    EXPECT_EQ(folder.LastFullCheck(), first);

    // Seven days on, the full check starts, and CANCEL ends it after the first file: it does not
    // count, and the next start checks in full again.
    folder.run.onDigest = [&folder](const std::wstring&, const std::atomic<bool>&) { folder.run.cancelRequested = true; };
    folder.Start(first + 7 * kDay);
    EXPECT_EQ(folder.run.messages.end()[-2], kCancelled);
    EXPECT_EQ(folder.LastFullCheck(), first);
    folder.run.onDigest = nullptr;
    folder.run.cancelRequested = false;

    const uint64_t full = first + 8 * kDay;
    EXPECT_EQ(folder.Start(full).size(), 3u);
    EXPECT_EQ(folder.run.installed, Lines({Local(L"sub\\b.dat")}));
    EXPECT_EQ(folder.run.messages.end()[-2], kComplete);
    EXPECT_EQ(folder.LastFullCheck(), full);

    // A clock put back before the last full check checks in full too.
    EXPECT_EQ(folder.Start(full - kDay).size(), 3u);
}

TEST(DigestRecordRun, ADamagedOrOversizedRecordIsAFullCheckThatCompletesAndIsWrittenAnew) {
    for (const char* damage : {"byte", "size"}) {
        KeptFolder folder;
        const uint64_t first = folder.run.fileTime;
        folder.Start(first);
        if (damage == std::string("byte"))
            folder.run.recordText[folder.run.recordText.size() / 2] ^= 1;
        else
            folder.run.recordText += std::string(3 * kMostRecordBytesPerEntry, '\n');
        EXPECT_EQ(folder.Start(first + kDay).size(), 3u) << damage;
        EXPECT_EQ(folder.run.messages.end()[-2], kComplete) << damage;
        EXPECT_EQ(folder.LastFullCheck(), first + kDay) << damage;
        EXPECT_EQ(folder.Start(first + 2 * kDay), Lines()) << damage;
    }
}

TEST(DigestRecordRun, ARunThatEndsEarlyKeepsTheRecordOfTheFilesItDidNotReach) {
    KeptFolder folder;
    const uint64_t first = folder.run.fileTime;
    folder.Start(first);
    // a.dat moved and differs now: its download fails and ends the run before b and c.
    folder.run.fileStates[Local(L"a.dat")].lastWrite += kSecond;
    folder.run.localDigests[Local(L"a.dat")] = kDigestB;
    folder.run.failingDownloads.insert("https://updates.test/updater/a.dat");
    EXPECT_EQ(folder.Start(first + kDay), Lines({Local(L"a.dat")}));
    EXPECT_EQ(folder.run.messages.end()[-2], L"status Error downloading: a.dat");
    folder.run.failingDownloads.clear();
    // Only a.dat is read again: what it was found to hold is kept too.
    EXPECT_EQ(folder.Start(first + 2 * kDay), Lines());
    EXPECT_EQ(folder.run.installed, Lines({Local(L"a.dat")}));
}

}  // namespace
