#include "update/run/update_worker_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_support_win.h"
#include "tools/filelist/signing.h"
#include "update/delta/block_map.h"
#include "update/local/digest_record_win.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/list/kept_list_win.h"
#include "update/list/manifest_signature.h"
#include "update/run/run_progress.h"

namespace {

using Lines = std::vector<std::wstring>;

const wchar_t kCollectorClass[] = L"VardenhalWorkerTestWnd";
Lines collected;                         // what the collector window received, in order
UpdateRunFlags* collectedRun = nullptr;  // the run whose progress the collector reads

// Writes each worker message down the way the window would see it; takes every status text
// over as the window does, so the copies are freed.
LRESULT CALLBACK CollectorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WorkerReport report = ReadWorkerMessage(message, wParam, lParam);
    switch (report.kind) {
        case WorkerReport::Kind::kProgress:
            if (collectedRun)
                collectedRun->progressUnread.store(false);
            // In entries: the figures of a file under way are not those of a test.
            collected.push_back(L"progress " + std::to_wstring(report.done / kProgressUnitsPerEntry) +
                                (report.done % kProgressUnitsPerEntry ? L"+" : L"") + L" of " +
                                std::to_wstring(report.total / kProgressUnitsPerEntry));
            return 0;
        case WorkerReport::Kind::kStatus:
            if (collectedRun)
                collectedRun->progressUnread.store(false);
            collected.push_back(L"status " + report.text + (wParam == 0 ? L"" : L" (wParam not 0)"));
            return 0;
        case WorkerReport::Kind::kFinished:
            collected.push_back(L"finished " + std::to_wstring(wParam) + (lParam == 0 ? L"" : L" (lParam not 0)"));
            return 0;
        case WorkerReport::Kind::kOther:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window on the test's thread that collects the worker's messages.
HWND CreateCollector() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = CollectorProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kCollectorClass;
        registered = RegisterClassW(&windowClass) != 0;
    }
    collected.clear();
    return CreateWindowExW(0, kCollectorClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// Hands every queued message to the collector; returns once the queue is empty.
void DrainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

// The status texts among the messages, in order.
Lines StatusTexts(const Lines& messages) {
    Lines texts;
    for (const std::wstring& line : messages) {
        if (line.compare(0, 7, L"status ") == 0)
            texts.push_back(line);
    }
    return texts;
}

FILETIME LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Puts the write time years back, so that any rewrite of the file would show.
void MakeOld(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SYSTEMTIME old = {2001, 1, 1, 1, 12, 0, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&old, &time);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// A temporary launcher folder, and a server root below the local test server whose /updater/
// folder is private to this test.
class UpdateWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string testRoot = TestServerRoot();
        const std::wstring served = TestServerFolder();
        if (testRoot.empty() || served.empty())
            GTEST_SKIP() << "no local update server (VARDENHAL_TEST_SERVER, VARDENHAL_TEST_SERVER_DIR)";
        const std::string prefix = "worker-" + std::to_string(GetCurrentProcessId());
        servedTop_ = served + L"\\" + Widen(prefix);
        RemoveTree(servedTop_);
        CreateDirectoryW(servedTop_.c_str(), nullptr);
        updaterFolder_ = servedTop_ + L"\\updater";
        CreateDirectoryW(updaterFolder_.c_str(), nullptr);
        serverRoot_ = testRoot + "/updater/" + prefix;
        // The same folders below the mirror, when there is one.
        if (!TestMirrorRoot().empty() && !TestMirrorFolder().empty()) {
            mirrorTop_ = TestMirrorFolder() + L"\\" + Widen(prefix);
            RemoveTree(mirrorTop_);
            CreateDirectoryW(mirrorTop_.c_str(), nullptr);
            CreateDirectoryW((mirrorTop_ + L"\\updater").c_str(), nullptr);
            mirrorRoot_ = TestMirrorRoot() + "/updater/" + prefix;
        }
        window_ = CreateCollector();
        ASSERT_NE(window_, nullptr);
        collectedRun = &flags_;
    }
    void TearDown() override {
        collectedRun = nullptr;
        if (window_)
            DestroyWindow(window_);
        if (!servedTop_.empty())
            RemoveTree(servedTop_);
        if (!mirrorTop_.empty())
            RemoveTree(mirrorTop_);
    }
    // Puts a file on the server (or below `top`, another server's folder) and returns its manifest line.
    std::string Serve(const std::string& path, const std::string& bytes, const std::wstring& top = std::wstring()) {
        const std::wstring folder = top.empty() ? updaterFolder_ : top + L"\\updater";
        std::wstring local = folder;
        for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            CreateDirectoryW((folder + L"\\" + Widen(path.substr(0, slash))).c_str(), nullptr);
        local += L"\\" + Widen(path);
        for (wchar_t& c : local)
            if (c == L'/')
                c = L'\\';
        WriteBytes(local, bytes);
        return path + "|" + ComputeFileMd5(local) + "\r\n";
    }
    void Run(const std::string& publicKey = std::string()) {
        RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_}, kTransferLimits, publicKey);
        DrainMessages();
    }
    // Runs the update on a thread of its own until `ready` has seen the moment come, presses CANCEL
    // and waits for the run's end; the milliseconds from the press to the end.
    ULONGLONG CancelRunWhen(const std::function<void()>& ready) {
        ULONGLONG finished = 0;
        std::thread run([&] {
            RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_});
            finished = GetTickCount64();
        });
        ready();
        const ULONGLONG pressed = GetTickCount64();
        flags_.cancelRequested.store(true);
        run.join();
        DrainMessages();
        return finished - pressed;
    }
    // Serves the list, and its signature file unless that is empty.
    void ServeList(const std::string& manifest, const std::string& signatureFile) {
        WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
        DeleteFileW((updaterFolder_ + L"\\filelist.txt.sig").c_str());
        if (!signatureFile.empty())
            WriteBytes(updaterFolder_ + L"\\filelist.txt.sig", signatureFile);
    }

    std::wstring servedTop_;
    std::wstring updaterFolder_;
    std::string serverRoot_;
    std::wstring mirrorTop_;  // empty without a mirror
    std::string mirrorRoot_;
    HWND window_ = nullptr;
    UpdateRunFlags flags_;
    TemporaryFolder launcher_;
};

TEST_F(UpdateWorkerTest, FetchesMissingAndDifferentFilesAndLeavesMatchingOnesUntouched) {
    const std::string iniBytes = "[Engine]\r\nFullscreen=1\r\n";
    const std::string sameBytes(70000, 's');
    const std::string newBytes(90000, 'n');
    const std::string manifest =
        Serve("system/l2.ini", iniBytes) + Serve("same.dat", sameBytes) + Serve("different.dat", newBytes);
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);

    const std::wstring same = launcher_.Path() + L"\\same.dat";
    const std::wstring different = launcher_.Path() + L"\\different.dat";
    WriteBytes(same, sameBytes);
    WriteBytes(different, "old content");
    MakeOld(same);
    const FILETIME sameTime = LastWriteTime(same);

    Run();

    // Nothing is read until the run ends, so after the first report every one waits and is
    // replaced by the next; the last figure goes out just before the last text.
    const Lines expected = {L"status Checking for updates...", L"progress 3 of 3",
                            L"status Update complete! Press GAME START to play.", L"finished 1"};
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\system\\l2.ini"), iniBytes);
    EXPECT_EQ(ReadBytes(different), newBytes);
    EXPECT_EQ(ReadBytes(same), sameBytes);
    const FILETIME sameTimeAfter = LastWriteTime(same);
    EXPECT_EQ(CompareFileTime(&sameTime, &sameTimeAfter), 0);
}

TEST_F(UpdateWorkerTest, AFolderWhereAFileShouldBeEndsTheRunThere) {
    const std::string manifest = Serve("first.dat", "1") + Serve("blocked.dat", "2") + Serve("never.dat", "3");
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
    CreateDirectoryW((launcher_.Path() + L"\\blocked.dat").c_str(), nullptr);

    Run();

    const Lines expected = {L"status Checking for updates...", L"progress 1 of 3",
                            L"status Error: Cannot write: blocked.dat", L"finished 0"};
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\first.dat"), "1");
    EXPECT_TRUE(IsFolder(launcher_.Path() + L"\\blocked.dat"));
    EXPECT_FALSE(PathExists(launcher_.Path() + L"\\never.dat"));
}

TEST_F(UpdateWorkerTest, NoServerEndsBeforeAnyProgress) {
    RunUpdateForWindow(window_, flags_, launcher_.Path(), {"https://127.0.0.1:1"});
    DrainMessages();
    const Lines expected = {L"status Checking for updates...", L"status Error: Cannot connect to update server.",
                            L"finished 0"};
    EXPECT_EQ(collected, expected);
}

TEST_F(UpdateWorkerTest, BrokenManifestsEndWithTheirTextAndABomIsSkipped) {
    const std::string line = Serve("system/l2.ini", "[Engine]\r\n");
    const struct {
        const char* fault;
        std::string manifest;
        Lines expected;
    } cases[] = {
        {"endless",
         "",
         {L"status Checking for updates...", L"status Error: Cannot connect to update server.", L"finished 0"}},
        {"oversized=40000000", "", {L"status Checking for updates...", L"status No files to download.", L"finished 0"}},
        // A good list, but in a coding that is not decoded: as damaged as a broken gzip.
        {"coding=br",
         line,
         {L"status Checking for updates...", L"status Error: Cannot connect to update server.", L"finished 0"}},
        // A small gzip that a list of 100 MB comes out of: past the limit once decoded.
        {"gzip-bomb=100000000",
         "",
         {L"status Checking for updates...", L"status Error: Cannot connect to update server.", L"finished 0"}},
        {nullptr,
         "\xEF\xBB\xBF" + line,
         {L"status Checking for updates...", L"progress 1 of 1", L"status Update complete! Press GAME START to play.",
          L"finished 1"}},
    };
    for (const auto& c : cases) {
        WriteBytes(updaterFolder_ + L"\\filelist.txt", c.manifest);
        DeleteFileW((updaterFolder_ + L"\\filelist.txt.fault").c_str());
        if (c.fault)
            WriteBytes(updaterFolder_ + L"\\filelist.txt.fault", c.fault);
        collected.clear();
        Run();
        EXPECT_EQ(collected, c.expected) << (c.fault ? c.fault : "byte-order mark");
    }
}

TEST_F(UpdateWorkerTest, OneFileInTwoSpellingsIsNotCompleteTwiceAndNoFolderTakesAFilesPlace) {
    // Made on the Linux side: A.txt holds "upper\n", a.txt "lower\n", and the list names both.
    if (!PathExists(TestServerFolder() + L"\\two-spellings\\updater\\filelist.txt"))
        GTEST_SKIP() << "no two-spellings folder on the local server";
    RunUpdateForWindow(window_, flags_, launcher_.Path(), {TestServerRoot() + "/updater/two-spellings"});
    DrainMessages();
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error downloading: a.txt");
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\A.txt"), "upper\n");

    // A file "a", then one below it: "a" is put in place first, and "a/b" cannot be written.
    WriteBytes(updaterFolder_ + L"\\filelist.txt",
               Serve("a", "the file a") + "a/b|d41d8cd98f00b204e9800998ecf8427e\r\n");
    TemporaryFolder launcher;
    collected.clear();
    RunUpdateForWindow(window_, flags_, launcher.Path(), {serverRoot_});
    DrainMessages();
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error: Cannot write: a/b");
    EXPECT_EQ(ReadBytes(launcher.Path() + L"\\a"), "the file a");
    EXPECT_FALSE(IsFolder(launcher.Path() + L"\\a"));
}

TEST_F(UpdateWorkerTest, LeftoversOfEarlierDownloadsAreGoneAfterACompleteRun) {
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("data/listed.dat", "new") + Serve("data/other.dat", "x"));
    const std::wstring data = launcher_.Path() + L"\\data";
    CreateDirectoryW(data.c_str(), nullptr);
    WriteBytes(data + L"\\other.dat", "x");
    const std::wstring listed = TemporaryDownloadPath(data + L"\\listed.dat");
    const std::wstring unlisted = TemporaryDownloadPath(data + L"\\removed-from-the-list.dat");
    WriteBytes(listed, std::string(100000, 'p'));
    WriteBytes(unlisted, "part");
    WriteBytes(data + L"\\players-own.txt", "mine");

    Run();

    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_FALSE(PathExists(listed));
    EXPECT_FALSE(PathExists(unlisted));
    EXPECT_EQ(ReadBytes(data + L"\\listed.dat"), "new");
    EXPECT_EQ(ReadBytes(data + L"\\players-own.txt"), "mine");
}

// The operator's key, made by the tool on the Linux side: the key file's text and the public key.
bool ReadTestKey(std::string* keyFile, std::string* publicKey) {
    const std::string data = EnvironmentValue("VARDENHAL_TEST_DATA");
    *keyFile = data.empty() ? "" : ReadBytes(WinePathFromUnix(data + "/signing.key"));
    *publicKey = data.empty() ? "" : ReadBytes(WinePathFromUnix(data + "/signing.pub"));
    *publicKey = publicKey->substr(0, publicKey->find('\n'));
    return !keyFile->empty() && !publicKey->empty();
}

std::string SignatureFile(const std::string& keyFile, const std::string& bytes, uint64_t sequence = 1700000000) {
    std::string signature;
    EXPECT_TRUE(SignWithKeyFile(keyFile, SignedListBytes(sequence, bytes), &signature));
    return FormatSignatureFile(sequence, signature);
}

TEST_F(UpdateWorkerTest, ASignedBuildRunsOnlyAListSignedWithItsKey) {
    std::string keyFile;
    std::string publicKey;
    if (!ReadTestKey(&keyFile, &publicKey))
        GTEST_SKIP() << "no key made by the tool in VARDENHAL_TEST_DATA";
    const std::string manifest = Serve("system/l2.ini", "[Engine]\r\nFullscreen=0\r\n");
    const std::wstring ini = launcher_.Path() + L"\\system\\l2.ini";
    CreateDirectoryW((launcher_.Path() + L"\\system").c_str(), nullptr);
    WriteBytes(ini, "[Engine]\r\nFullscreen=1\r\n");
    MakeOld(ini);
    const FILETIME iniTime = LastWriteTime(ini);

    std::string otherKey;
    std::string otherPoint;
    ASSERT_TRUE(GenerateSigningKey(&otherKey, &otherPoint));
    const std::string good = SignatureFile(keyFile, manifest);
    std::string changed = manifest;
    changed[0] = 'S';  // "System/l2.ini": still a good list, but not the one signed
    const struct {
        const char* name;
        std::string manifest;
        std::string signatureFile;
    } refused[] = {
        {"no signature file", manifest, ""},
        {"a signature over other bytes", manifest, SignatureFile(keyFile, manifest + "x")},
        {"one byte of the list changed", changed, good},
        {"a cut signature file", manifest, good.substr(0, 50)},
        {"the signed sequence changed", manifest, "sequence 1700000001" + good.substr(19)},
        {"the one-line form", manifest, good.substr(good.find("signature ") + 10)},
        {"a garbled signature file", manifest, "not a signature\n"},
        {"a signature made with another key", manifest, SignatureFile(otherKey, manifest)},
    };
    for (const auto& c : refused) {
        ServeList(c.manifest, c.signatureFile);
        collected.clear();
        Run(publicKey);
        const Lines expected = {L"status Checking for updates...", L"status Error: The update list is not signed.",
                                L"finished 0"};
        EXPECT_EQ(collected, expected) << c.name;
        EXPECT_EQ(ReadBytes(ini), "[Engine]\r\nFullscreen=1\r\n") << c.name;
        const FILETIME after = LastWriteTime(ini);
        EXPECT_EQ(CompareFileTime(&iniTime, &after), 0) << c.name;
    }

    ServeList(manifest, good);
    collected.clear();
    Run(publicKey);
    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_EQ(ReadBytes(ini), "[Engine]\r\nFullscreen=0\r\n");
}

TEST_F(UpdateWorkerTest, ASignedBuildKeepsOnlyFilesWithTheirSignedDigestAndAnUnsignedOneAsksForNoSignature) {
    std::string keyFile;
    std::string publicKey;
    if (!ReadTestKey(&keyFile, &publicKey))
        GTEST_SKIP() << "no key made by the tool in VARDENHAL_TEST_DATA";
    // The server's file changed after the list was signed: same length, other bytes.
    const std::string manifest = Serve("maps/world.unr", std::string(50000, 'a'));
    Serve("maps/world.unr", std::string(49999, 'a') + "b");
    ServeList(manifest, SignatureFile(keyFile, manifest));
    const std::wstring map = launcher_.Path() + L"\\maps\\world.unr";
    CreateDirectoryW((launcher_.Path() + L"\\maps").c_str(), nullptr);
    WriteBytes(map, "old map");

    Run(publicKey);
    const Lines expected = {L"status Checking for updates...", L"progress 0 of 1",
                            L"status Error downloading: maps/world.unr", L"finished 0"};
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(map), "old map");
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(map)));

    // Without a key the file is refused all the same, and no signature is asked for.
    const size_t logged = TestServerLogSince().size();
    collected.clear();
    Run();
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(map), "old map");
    if (HasTestServerLog()) {
        const std::string requests = TestServerLogSince(logged);
        EXPECT_NE(requests.find("/filelist.txt "), std::string::npos) << requests;
        EXPECT_EQ(requests.find(".sig"), std::string::npos) << requests;
    }
}

TEST_F(UpdateWorkerTest, AWholeFileWhoseBytesAreNotTheListedOnesLeavesTheOldOne) {
    Serve("maps/world.unr", std::string(50000, 'b'));
    WriteBytes(updaterFolder_ + L"\\filelist.txt", "maps/world.unr|dfe4d5abf952e250a36e86fa8acb888d\r\n");  // 'a's
    const std::wstring map = launcher_.Path() + L"\\maps\\world.unr";
    CreateDirectoryW((launcher_.Path() + L"\\maps").c_str(), nullptr);
    WriteBytes(map, "old map");

    Run();
    const Lines expected = {L"status Checking for updates...", L"progress 0 of 1",
                            L"status Error downloading: maps/world.unr", L"finished 0"};
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(map), "old map");
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(map)));
    EXPECT_FALSE(PathExists(ResumeRecordPath(map)));
}

TEST_F(UpdateWorkerTest, AFileHeldByAnotherProgramEndsTheRunAndTheNextRunReplacesIt) {
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("held.dat", "new"));
    const std::wstring held = launcher_.Path() + L"\\held.dat";
    WriteBytes(held, "old");
    HANDLE other = CreateFileW(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    Run();
    CloseHandle(other);
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error: File in use: held.dat");
    EXPECT_EQ(collected.back(), L"finished 0");
    EXPECT_EQ(ReadBytes(held), "old");

    collected.clear();
    Run();
    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_EQ(ReadBytes(held), "new");
}

std::vector<std::wstring> TemporaryFilesIn(const std::wstring& folder);

// A volume of 48 MiB (a tmpfs the test script mounts), seen through Z:.
TEST_F(UpdateWorkerTest, ASmallVolumeTakesASmallFileButNotOneLargerThanItsRoom) {
    const std::string volume = EnvironmentValue("VARDENHAL_TEST_SMALL_VOLUME");
    if (volume.empty() || !HasTestServerLog())
        GTEST_SKIP() << "no small volume (VARDENHAL_TEST_SMALL_VOLUME) or no request log";
    const std::wstring folder = WinePathFromUnix(volume) + L"\\launcher-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string small(1000, 's');
    WriteBytes(updaterFolder_ + L"\\filelist.txt",
               Serve("small.dat", small) + Serve("large.dat", std::string(60u << 20, 'L')));

    RunUpdateForWindow(window_, flags_, folder, {serverRoot_});
    DrainMessages();
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error: Not enough disk space: large.dat");
    EXPECT_EQ(ReadBytes(folder + L"\\small.dat"), small);
    EXPECT_FALSE(PathExists(folder + L"\\large.dat"));
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(folder + L"\\large.dat")));
    EXPECT_FALSE(PathExists(ResumeRecordPath(folder + L"\\large.dat")));
    RemoveTree(folder);

    // Six files of 14 MiB fetched at once: each would fit alone, but they share the room, so the
    // run ends where a run of one file at a time would, at the third, and keeps no part. The
    // first two are answered first and hold after 64 KiB; the last four are answered meanwhile.
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::string six;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "b" + std::to_string(i) + ".dat";
        six += Serve(name, std::string(14u << 20, static_cast<char>('0' + i)));
        WriteBytes(updaterFolder_ + L"\\" + Widen(name) + L".fault", i < 2 ? "hold=65536" : "gate:");
    }
    WriteBytes(updaterFolder_ + L"\\filelist.txt", six);
    collected.clear();
    const size_t logged = TestServerLogSince().size();
    std::thread run([&] { RunUpdateForWindow(window_, flags_, folder, {serverRoot_}); });
    bool inOrder = WaitForLogged("/b0.dat ", logged) && WaitForLogged("/b1.dat ", logged);
    for (int i = 2; i < 6; ++i)
        ReleaseServedFile(updaterFolder_ + L"\\b" + std::to_wstring(i) + L".dat");
    for (int i = 2; i < 6; ++i)
        inOrder = inOrder && WaitForLogged("/b" + std::to_string(i) + ".dat ", logged);
    for (int i = 0; i < 2; ++i)
        ReleaseServedFile(updaterFolder_ + L"\\b" + std::to_wstring(i) + L".dat");
    EXPECT_TRUE(inOrder);
    run.join();
    DrainMessages();
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error: Not enough disk space: b2.dat");
    EXPECT_TRUE(ReadBytes(folder + L"\\b1.dat") == std::string(14u << 20, '1'));
    EXPECT_EQ(TemporaryFilesIn(folder), std::vector<std::wstring>());
    RemoveTree(folder);
}

// The requests the local server logged for `name` since the log was `offset` bytes long.
size_t RequestsFor(const std::string& name, size_t offset) {
    return CountOccurrences(TestServerLogSince(offset), "/" + name + " ");
}

TEST_F(UpdateWorkerTest, AServerErrorIsTriedAgainAndARefusalIsNot) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    const struct {
        const char* fault;
        const wchar_t* end;
        size_t requests;
    } cases[] = {
        {"once:500", L"status Update complete! Press GAME START to play.", 2},
        {"404", L"status Error downloading: retried.dat", 1},
    };
    for (const auto& c : cases) {
        WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("retried.dat", "the file"));
        WriteBytes(updaterFolder_ + L"\\retried.dat.fault", c.fault);
        DeleteFileW((launcher_.Path() + L"\\retried.dat").c_str());
        const size_t logged = TestServerLogSince().size();
        collected.clear();
        Run();
        ASSERT_GE(collected.size(), 2u) << c.fault;
        EXPECT_EQ(collected[collected.size() - 2], c.end) << c.fault;
        EXPECT_EQ(RequestsFor("retried.dat", logged), c.requests) << c.fault;
    }
}

TEST_F(UpdateWorkerTest, CancelDuringTheWaitBeforeARetryEndsTheRunAtOnce) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("failing.dat", "never served"));
    WriteBytes(updaterFolder_ + L"\\failing.dat.fault", "500");
    const size_t logged = TestServerLogSince().size();
    ULONGLONG finished = 0;
    std::thread run([&] {
        RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_});
        finished = GetTickCount64();
    });
    EXPECT_TRUE(WaitForLogged("/failing.dat ", logged));
    // A second try, should one start before the press, is held unanswered: CANCEL ends that too,
    // and the log shows one request either way.
    WriteBytes(updaterFolder_ + L"\\failing.dat.fault", "gate:500");
    Sleep(200);  // well into the second's wait before the second try
    const ULONGLONG pressed = GetTickCount64();
    flags_.cancelRequested.store(true);
    run.join();
    ReleaseServedFile(updaterFolder_ + L"\\failing.dat");
    DrainMessages();
    EXPECT_LT(finished - pressed, 1000u);
    EXPECT_EQ(RequestsFor("failing.dat", logged), 1u);
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.");
}

TEST_F(UpdateWorkerTest, CancelDuringASlowDownloadEndsSoonAndTheNextRunAsksForTheRest) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    std::string bytes(20u << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("big.dat", bytes));
    // The first 512 KiB, then nothing until the test lets the rest go.
    WriteBytes(updaterFolder_ + L"\\big.dat.fault", "once:hold=524288");
    const std::wstring target = launcher_.Path() + L"\\big.dat";
    WriteBytes(target, "old");
    ULONGLONG finished = 0;
    std::thread run([&] {
        RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_});
        finished = GetTickCount64();
    });
    for (int i = 0; i < 3000 && LengthOf(TemporaryDownloadPath(target)) < 524288; ++i)
        Sleep(10);
    const ULONGLONG pressed = GetTickCount64();
    flags_.cancelRequested.store(true);
    run.join();
    ReleaseServedFile(updaterFolder_ + L"\\big.dat");
    DrainMessages();
    EXPECT_LT(finished - pressed, 2000u);
    RecordProperty("cancel_to_finish_ms", static_cast<int>(finished - pressed));
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.");
    EXPECT_EQ(ReadBytes(target), "old");

    flags_.cancelRequested.store(false);
    const size_t logged = TestServerLogSince().size();
    collected.clear();
    Run();
    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_TRUE(ReadBytes(target) == bytes);
    const std::string requests = TestServerLogSince(logged);
    EXPECT_EQ(CountOccurrences(requests, "/big.dat "), 1u) << requests;
    EXPECT_EQ(CountOccurrences(requests, " range=bytes="), 1u) << requests;
}

// Makes `path` a file of `length` zero bytes without writing them (sparse where the disk allows).
void MakeLongFile(const std::wstring& path, int64_t length) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = length;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
}

// Whether something in this process came to hold `path` open for reading without write sharing, as
// a digest or a search does (a writer is refused meanwhile); false after 30 s.
bool WaitUntilHeldForReading(const std::wstring& path) {
    for (int i = 0; i < 30000; ++i) {
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (writer == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
            return true;
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        Sleep(1);
    }
    return false;
}

TEST_F(UpdateWorkerTest, CancelWhileALargeLocalFileIsHashedEndsWithinASecond) {
    const std::wstring big = launcher_.Path() + L"\\big.dat";
    MakeLongFile(big, 1ll << 30);
    // Alone in the list, the run reads it on its own thread; after a small one, a digest thread
    // reads it ahead and the run waits for it.
    const std::string bigLine = "big.dat|0123456789abcdef0123456789abcdef\r\n";
    const std::string lists[] = {bigLine, Serve("small.dat", "s") + bigLine};
    WriteBytes(launcher_.Path() + L"\\small.dat", "s");
    for (const std::string& list : lists) {
        WriteBytes(updaterFolder_ + L"\\filelist.txt", list);
        flags_.cancelRequested.store(false);
        collected.clear();
        bool reading = false;
        const ULONGLONG endMs = CancelRunWhen([&] { reading = WaitUntilHeldForReading(big); });
        EXPECT_TRUE(reading) << list;
        EXPECT_LT(endMs, 1000u) << list;
        RecordProperty(list.size() > bigLine.size() ? "cancel_hash_ahead_ms" : "cancel_hash_ms",
                       static_cast<int>(endMs));
        ASSERT_GE(collected.size(), 2u) << list;
        EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.") << list;
    }
}

// The names of the files below `folder` that are temporary downloads or their records.
std::vector<std::wstring> TemporaryFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        const std::wstring name = entry.cFileName;
        if (name.find(L".vhl\u2193") != std::wstring::npos)
            found.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

TEST_F(UpdateWorkerTest, ThirdOfFiveRefusedWhileTheLastTwoComeEndsThereAndKeepsNothingAfterIt) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    // The last two send their first 64 KiB and hold the rest; the third is refused only once
    // both have been asked for.
    const std::string large(1u << 20, 'l');
    const std::string manifest = Serve("one.dat", "1") + Serve("two.dat", "2") + Serve("three.dat", "3") +
                                 Serve("four.dat", large) + Serve("five.dat", large);
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
    WriteBytes(updaterFolder_ + L"\\three.dat.fault", "gate:404");
    for (const wchar_t* name : {L"four.dat", L"five.dat"})
        WriteBytes(updaterFolder_ + L"\\" + name + L".fault", "hold=65536");
    const size_t logged = TestServerLogSince().size();

    std::thread run([&] { RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_}); });
    const bool asked = WaitForLogged("/four.dat ", logged) && WaitForLogged("/five.dat ", logged);
    ReleaseServedFile(updaterFolder_ + L"\\three.dat");
    run.join();
    DrainMessages();
    EXPECT_TRUE(asked);
    for (const wchar_t* name : {L"four.dat", L"five.dat"})
        ReleaseServedFile(updaterFolder_ + L"\\" + name);

    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Error downloading: three.dat");
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\one.dat"), "1");
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\two.dat"), "2");
    for (const wchar_t* name : {L"three.dat", L"four.dat", L"five.dat"})
        EXPECT_FALSE(PathExists(launcher_.Path() + L"\\" + name)) << name;
    EXPECT_EQ(TemporaryFilesIn(launcher_.Path()), std::vector<std::wstring>());
    // The last two were under way when the third was refused.
    EXPECT_EQ(RequestsFor("four.dat", logged), 1u);
    EXPECT_EQ(RequestsFor("five.dat", logged), 1u);
}

TEST_F(UpdateWorkerTest, CancelDuringSixTransfersEndsWithinTwoSeconds) {
    std::string manifest;
    // Each sends its first 64 KiB, then holds the rest.
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "slow" + std::to_string(i) + ".dat";
        manifest += Serve(name, std::string(4u << 20, static_cast<char>('0' + i)));
        WriteBytes(updaterFolder_ + L"\\" + Widen(name) + L".fault", "hold=65536");
    }
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
    ULONGLONG finished = 0;
    std::thread run([&] {
        RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_});
        finished = GetTickCount64();
    });
    // Every transfer has written some of its file.
    for (int i = 0; i < 3000 && TemporaryFilesIn(launcher_.Path()).size() < 12; ++i)
        Sleep(10);
    const size_t underWay = TemporaryFilesIn(launcher_.Path()).size();
    const ULONGLONG pressed = GetTickCount64();
    flags_.cancelRequested.store(true);
    run.join();
    DrainMessages();
    for (int i = 1; i <= 6; ++i)
        ReleaseServedFile(updaterFolder_ + L"\\slow" + std::to_wstring(i) + L".dat");
    EXPECT_EQ(underWay, 12u);  // six parts, each with its record, for they are of 4 MiB
    EXPECT_LT(finished - pressed, 2000u);
    RecordProperty("six_transfers_cancel_to_finish_ms", static_cast<int>(finished - pressed));
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.");
    for (int i = 1; i <= 6; ++i)
        EXPECT_FALSE(PathExists(launcher_.Path() + L"\\slow" + std::to_wstring(i) + L".dat")) << i;
}

// Six runs, each cancelled while six transfers trickle a byte every tenth of a second: a reader
// given up ends at its next bytes and the run joins it before its end, so no thread of a run is
// left once it has ended, and nothing piles up from one run to the next.
TEST_F(UpdateWorkerTest, RunsCancelledDuringTricklingTransfersLeaveNoThreadHandleOrMemoryBehind) {
    std::string manifest;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "trickle" + std::to_string(i) + ".dat";
        manifest += Serve(name, std::string(1000, static_cast<char>('a' + i)));
        WriteBytes(updaterFolder_ + L"\\" + Widen(name) + L".fault", "trickle=0.1");
    }
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
    // One more may stay: WinInet's own, which closes idle connections.
    const size_t threadsBefore = HoldingsOfThisProcess().threads + 1;
    ProcessHoldings first;
    ProcessHoldings last;
    for (int cycle = 0; cycle < 6; ++cycle) {
        flags_.cancelRequested.store(false);
        std::thread run([&] { RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_}); });
        // Each of the six has bytes written: its reader waits inside the body.
        for (int i = 0; i < 1000 && TemporaryFilesIn(launcher_.Path()).size() < 6; ++i)
            Sleep(10);
        const size_t parts = TemporaryFilesIn(launcher_.Path()).size();
        flags_.cancelRequested.store(true);
        run.join();
        last = HoldingsOfThisProcess();
        DrainMessages();
        ASSERT_EQ(parts, 6u) << "cycle " << cycle << ": the bytes that came are not written as they come";
        ASSERT_FALSE(collected.empty());
        EXPECT_EQ(collected.back(), L"finished 0");
        EXPECT_LE(last.threads, threadsBefore) << "cycle " << cycle;
        if (cycle == 0)
            first = last;
    }
    std::printf("threads %zu -> %zu, handles %zu -> %zu, private bytes %zu -> %zu\n", first.threads, last.threads,
                first.handles, last.handles, first.privateBytes, last.privateBytes);
    EXPECT_LE(last.handles, first.handles + first.handles / 10);
    // Each run cancelled amid six bodies leaves some 230 KB more (measured over 14 runs, not per
    // request): room for that.
    EXPECT_LE(last.privateBytes, first.privateBytes + first.privateBytes / 10 + (1u << 20));
}

TEST_F(UpdateWorkerTest, TheTextsOfARunNameItsEntriesInListOrderWhateverComesFirst) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    // The server holds the first file until the five after it have been asked for and sent.
    std::string manifest = Serve("first.dat", std::string(300000, 'f'));
    WriteBytes(updaterFolder_ + L"\\first.dat.fault", "hold=1000");
    for (const char* name : {"b.dat", "c.dat", "d.dat", "e.dat", "f.dat"})
        manifest += Serve(name, name);
    WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
    const size_t logged = TestServerLogSince().size();

    // The window reads each report as it comes, as the real one does at its next tick.
    std::atomic<bool> ended{false};
    std::thread run([&] {
        RunUpdateForWindow(window_, flags_, launcher_.Path(), {serverRoot_});
        ended = true;
    });
    bool asked = false;
    for (const ULONGLONG end = GetTickCount64() + 30000; !ended && GetTickCount64() < end; Sleep(5)) {
        DrainMessages();
        if (!asked && CountOccurrences(TestServerLogSince(logged), "/f.dat ") > 0) {
            asked = true;
            DrainMessages();
            ReleaseServedFile(updaterFolder_ + L"\\first.dat");
        }
    }
    if (!asked)
        ReleaseServedFile(updaterFolder_ + L"\\first.dat");
    run.join();
    DrainMessages();
    EXPECT_TRUE(asked) << "f.dat was asked for while first.dat was held";

    // While first.dat is held, the line names it, whatever came after it; a text that waited may
    // be replaced by a later one, but none comes out of list order.
    const Lines texts = StatusTexts(collected);
    const Lines inOrder = {L"status Checking for updates...", L"status Downloading: first.dat",
                           L"status Downloading: b.dat",      L"status Downloading: c.dat",
                           L"status Downloading: d.dat",      L"status Downloading: e.dat",
                           L"status Downloading: f.dat",      L"status Update complete! Press GAME START to play."};
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(Lines(texts.begin(), texts.begin() + 2), Lines(inOrder.begin(), inOrder.begin() + 2));
    EXPECT_EQ(texts.back(), inOrder.back());
    auto next = inOrder.begin();
    for (const std::wstring& text : texts) {
        next = std::find(next, inOrder.end(), text);
        ASSERT_NE(next, inOrder.end()) << "out of order or unknown: " << text;
    }
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\first.dat"), std::string(300000, 'f'));
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\f.dat"), "f.dat");
}

TEST_F(UpdateWorkerTest, AMirrorCarriesTheRunWhenTheMainRootIsDownOrFailsAFileButNotWithAWrongCopy) {
    if (mirrorRoot_.empty() || TestDownRoot().empty() || !HasTestMirrorLog())
        GTEST_SKIP() << "no mirror (VARDENHAL_TEST_MIRROR, VARDENHAL_TEST_DOWN_ROOT)";
    const struct {
        const char* name;
        bool mainDown;
        const char* mainFault;  // on the main root's b.dat
        const char* mirrorCopy;
        const wchar_t* end;
        const char* installed;  // b.dat after the run; nullptr: none
    } cases[] = {
        {"the main root not listening", true, nullptr, "b", L"status Update complete! Press GAME START to play.", "b"},
        {"b.dat answering 500 on the main root", false, "500", "b",
         L"status Update complete! Press GAME START to play.", "b"},
        // The mirror lags behind: its copy fails the listed digest, and nothing is installed.
        {"a wrong copy on the mirror", false, "404", "old b", L"status Error downloading: b.dat", nullptr},
    };
    for (const auto& c : cases) {
        const std::string list = Serve("a.dat", "a") + Serve("b.dat", "b");
        WriteBytes(updaterFolder_ + L"\\filelist.txt", list);
        DeleteFileW((updaterFolder_ + L"\\b.dat.fault").c_str());
        if (c.mainFault)
            WriteBytes(updaterFolder_ + L"\\b.dat.fault", c.mainFault);
        Serve("a.dat", "a", mirrorTop_);
        Serve("b.dat", c.mirrorCopy, mirrorTop_);
        WriteBytes(mirrorTop_ + L"\\updater\\filelist.txt", list);
        const size_t mirrorLogged = TestMirrorLogSince().size();
        TemporaryFolder launcher;
        collected.clear();
        RunUpdateForWindow(window_, flags_, launcher.Path(), {c.mainDown ? TestDownRoot() : serverRoot_, mirrorRoot_});
        DrainMessages();
        ASSERT_GE(collected.size(), 2u) << c.name;
        EXPECT_EQ(collected[collected.size() - 2], c.end) << c.name;
        EXPECT_EQ(ReadBytes(launcher.Path() + L"\\a.dat"), "a") << c.name;
        if (c.installed)
            EXPECT_EQ(ReadBytes(launcher.Path() + L"\\b.dat"), c.installed) << c.name;
        else
            EXPECT_FALSE(PathExists(launcher.Path() + L"\\b.dat")) << c.name;
        EXPECT_EQ(TemporaryFilesIn(launcher.Path()), std::vector<std::wstring>()) << c.name;
        const std::string mirrorRequests = TestMirrorLogSince(mirrorLogged);
        EXPECT_EQ(CountOccurrences(mirrorRequests, "/filelist.txt "), c.mainDown ? 1u : 0u) << c.name;
        EXPECT_EQ(CountOccurrences(mirrorRequests, "/b.dat "), 1u) << c.name;
    }
}

TEST_F(UpdateWorkerTest, AnUnchangedListIsNotSentAgainAndAKeptCopyDamagedOnDiskIsFetchedWhole) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("a.dat", "a"));
    const std::wstring keptList = KeptListFolder(launcher_.Path()) + L"\\filelist.txt";
    const struct {
        const char* name;
        const char* damage;  // written over the kept list before the run
        size_t conditional;  // requests for the list with If-None-Match
        const char* status;  // of the list's answer
    } runs[] = {
        {"the first run", nullptr, 0, "status=200"},
        {"a second run", nullptr, 1, "status=304"},
        {"a kept list changed on disk", "a.dat|00000000000000000000000000000000\r\n", 0, "status=200"},
        {"the run after it", nullptr, 1, "status=304"},
    };
    for (const auto& run : runs) {
        if (run.damage)
            WriteBytes(keptList, run.damage);
        const size_t logged = TestServerLogSince().size();
        collected.clear();
        Run();
        EXPECT_EQ(collected.back(), L"finished 1") << run.name;
        EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\a.dat"), "a") << run.name;
        // The log line of the list's request.
        const std::string requests = TestServerLogSince(logged);
        const size_t at = requests.find("/filelist.txt ");
        const std::string list = at == std::string::npos ? "" : requests.substr(at, requests.find('\n', at) - at);
        EXPECT_EQ(CountOccurrences(list, " if-none-match="), run.conditional) << run.name << ": " << list;
        EXPECT_EQ(CountOccurrences(list, run.status), 1u) << run.name << ": " << list;
    }
}

TEST_F(UpdateWorkerTest, ASignedBuildThatAcceptedASequenceRefusesALowerOneWritingNothing) {
    std::string keyFile;
    std::string publicKey;
    if (!ReadTestKey(&keyFile, &publicKey))
        GTEST_SKIP() << "no key made by the tool in VARDENHAL_TEST_DATA";
    const std::string second = Serve("a.dat", "second");
    ServeList(second, SignatureFile(keyFile, second, 2));
    Run(publicKey);
    ASSERT_EQ(collected.back(), L"finished 1");

    // An older list, validly signed: a mirror that lags behind, or a server put back to it.
    const std::string first = Serve("a.dat", "first");
    ServeList(first, SignatureFile(keyFile, first, 1));
    const std::wstring kept = KeptListFolder(launcher_.Path());
    const std::string keptBefore = ReadBytes(kept + L"\\filelist.txt") + ReadBytes(kept + L"\\sequence.txt");
    collected.clear();
    Run(publicKey);
    const Lines expected = {L"status Checking for updates...",
                            L"status Error: The update list is older than the one installed.", L"finished 0"};
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(ReadBytes(launcher_.Path() + L"\\a.dat"), "second");
    EXPECT_EQ(ReadBytes(kept + L"\\filelist.txt") + ReadBytes(kept + L"\\sequence.txt"), keptBefore);
}

// Bytes of the process's address space that are committed, from a walk over all its regions.
uint64_t CommittedBytes() {
    uint64_t committed = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT)
            committed += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return committed;
}

// Bytes changed in place, of the same length, with both times put back as they were.
void RewriteKeepingTimes(const std::wstring& path, const std::string& bytes) {
    WIN32_FILE_ATTRIBUTE_DATA before = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before));
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    SetFileTime(file, &before.ftCreationTime, nullptr, &before.ftLastWriteTime);
    CloseHandle(file);
    WIN32_FILE_ATTRIBUTE_DATA after = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &after);
    ASSERT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0);
    ASSERT_EQ(after.nFileSizeLow, before.nFileSizeLow);
}

// Three listed files already up to date, written long ago, and the opens for reading of each.
class DigestRecordTest : public UpdateWorkerTest {
protected:
    void SetUp() override {
        UpdateWorkerTest::SetUp();
        if (IsSkipped())
            return;
        const char* names[] = {"a.dat", "maps/b.unr", "system/c.ini"};
        std::string manifest;
        for (int i = 0; i < 3; ++i) {
            const std::string bytes(1000 + i * 5000, static_cast<char>('a' + i));
            manifest += Serve(names[i], bytes);
            std::wstring local = launcher_.Path() + L"\\" + Widen(names[i]);
            for (wchar_t& c : local)
                c = c == L'/' ? L'\\' : c;
            CreateDirectoryW(local.substr(0, local.rfind(L'\\')).c_str(), nullptr);
            WriteBytes(local, bytes);
            MakeOld(local);
            files_.push_back(local);
            served_.push_back(bytes);
        }
        WriteBytes(updaterFolder_ + L"\\filelist.txt", manifest);
        record_ = KeptListFolder(launcher_.Path());
    }
    // A run that must complete, its messages alone in `collected`.
    void RunToTheEnd() {
        collected.clear();
        Run();
        EXPECT_EQ(collected.back(), L"finished 1");
    }
    uint64_t LastFullCheck() {
        DigestRecord record;
        return ReadDigestRecord(record_, files_.size(), &record) ? record.lastFullCheck : 0;
    }

    std::vector<std::wstring> files_;
    std::vector<std::string> served_;
    std::wstring record_;
};

TEST_F(DigestRecordTest, ASecondStartOpensNoListedFileAndASameLengthRewriteIsReadAndFetched) {
    const ReadOpenCounter all(files_);
    ASSERT_TRUE(all.IsHooked());
    collected.clear();
    Run();
    EXPECT_EQ(all.Count(), 3) << "the first start reads every file";
    const Lines first = collected;
    ASSERT_EQ(first.back(), L"finished 1");
    EXPECT_GT(LastFullCheck(), 0u);

    collected.clear();
    Run();
    EXPECT_EQ(all.Count(), 3) << "the second start opens none of them";
    EXPECT_EQ(collected, first);

    // Same length, other bytes, written now.
    WriteBytes(files_[1], std::string(served_[1].size(), 'x'));
    RunToTheEnd();
    EXPECT_EQ(all.Count(), 4);
    EXPECT_EQ(ReadBytes(files_[1]), served_[1]);
}

TEST_F(DigestRecordTest, BytesChangedUnderTheirOldTimesAreCaughtOnlyByTheWeeklyFullCheck) {
    Run();
    ASSERT_EQ(collected.back(), L"finished 1");
    RewriteKeepingTimes(files_[2], std::string(served_[2].size(), 'x'));

    const ReadOpenCounter all(files_);
    ASSERT_TRUE(all.IsHooked());
    RunToTheEnd();
    EXPECT_EQ(all.Count(), 0);
    EXPECT_EQ(ReadBytes(files_[2]), std::string(served_[2].size(), 'x')) << "a normal start trusts the record";
    const long beforeFullCheck = all.Count();  // the test's own read counts too

    // The last full check a moment less than 7 days ago, then 7 days ago.
    for (const uint64_t age : {kFullCheckEveryTicks - 60 * kFileTimeTicksPerSecond, kFullCheckEveryTicks}) {
        DigestRecord record;
        ASSERT_TRUE(ReadDigestRecord(record_, files_.size(), &record));
        record.lastFullCheck = FileTimeNow() - age;
        ASSERT_TRUE(WriteDigestRecord(record_, record));
        RunToTheEnd();
    }
    EXPECT_EQ(all.Count() - beforeFullCheck, 3) << "only the full check reads the files";
    EXPECT_EQ(ReadBytes(files_[2]), served_[2]);
    EXPECT_GT(LastFullCheck(), FileTimeNow() - 600 * kFileTimeTicksPerSecond);
}

TEST_F(DigestRecordTest, ADamagedRecordLeadsToAFullCheckAndACompletedRun) {
    Run();
    ASSERT_EQ(collected.back(), L"finished 1");
    const std::wstring path = record_ + L"\\" + kDigestRecordFileName;
    std::string text = ReadBytes(path);
    ASSERT_FALSE(text.empty());
    text[text.size() / 2] ^= 0x01;
    WriteBytes(path, text);
    // The bytes of one file changed under their old times: only a full check finds it.
    RewriteKeepingTimes(files_[0], std::string(served_[0].size(), 'x'));

    const ReadOpenCounter all(files_);
    ASSERT_TRUE(all.IsHooked());
    RunToTheEnd();
    EXPECT_EQ(all.Count(), 3);
    EXPECT_EQ(ReadBytes(files_[0]), served_[0]);
    DigestRecord record;
    EXPECT_TRUE(ReadDigestRecord(record_, files_.size(), &record)) << "written anew";
}

// A large file on the server with its block map, and the player's older version of it: 24 MiB,
// which the new one changes in three places, one of them an insertion that shifts all that follows.
class PatchTest : public UpdateWorkerTest {
protected:
    void SetUp() override {
        UpdateWorkerTest::SetUp();
        if (IsSkipped())
            return;
        if (!HasTestServerLog())
            GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
        old_.resize(24u << 20);
        uint32_t seed = 12345;
        for (char& c : old_) {
            seed = seed * 1664525 + 1013904223;
            c = static_cast<char>(seed >> 24);
        }
        new_ = old_;
        new_.insert(3u << 20, std::string(5000, 'i'));
        new_.replace(10u << 20, 100000, std::string(100000, 'r'));
        new_.replace(20u << 20, 1000, std::string(1000, 's'));
        WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("maps/big.dat", new_));
        served_ = updaterFolder_ + L"\\maps\\big.dat";
        ServeMap(new_);
        local_ = launcher_.Path() + L"\\maps\\big.dat";
        CreateDirectoryW((launcher_.Path() + L"\\maps").c_str(), nullptr);
        WriteBytes(local_, old_);
    }
    std::string MapOf(const std::string& bytes) {
        BlockMapMaker maker(bytes.size());
        maker.Feed(bytes.data(), bytes.size());
        BlockMap map;
        EXPECT_TRUE(maker.Finish(&map));
        return FormatBlockMap(map);
    }
    void ServeMap(const std::string& bytes) { WriteBytes(served_ + L".blockmap", MapOf(bytes)); }
    // The requests for the file itself (not its map) past `offset` in the server's log.
    std::vector<std::string> FileRequests(size_t offset) {
        std::vector<std::string> lines;
        const std::string log = TestServerLogSince(offset);
        for (size_t start = 0, end; start < log.size(); start = end + 1) {
            end = log.find('\n', start);
            end = end == std::string::npos ? log.size() : end;
            const std::string line = log.substr(start, end - start);
            if (line.find("/maps/big.dat ") != std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }
    // The bytes the Range of a logged request asks for.
    static uint64_t RangeBytes(const std::string& line) {
        const size_t at = line.find(" range=bytes=");
        unsigned long long first = 0, last = 0;
        if (at == std::string::npos || sscanf(line.c_str() + at, " range=bytes=%llu-%llu", &first, &last) != 2)
            return 0;
        return last - first + 1;
    }

    std::string old_;
    std::string new_;
    std::wstring served_;
    std::wstring local_;
};

TEST_F(PatchTest, AChangedLargeFileIsPatchedFromItsMapWithRangesForWhatChangedOnly) {
    const size_t logged = TestServerLogSince().size();
    Run();
    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_TRUE(ReadBytes(local_) == new_);
    const std::string log = TestServerLogSince(logged);
    EXPECT_EQ(CountOccurrences(log, "/maps/big.dat.blockmap "), 1u) << log;
    const std::vector<std::string> requests = FileRequests(logged);
    // One range for each changed place: its blocks, and one either side at an insertion's edges.
    EXPECT_EQ(requests.size(), 3u) << log;
    uint64_t asked = 0;
    for (const std::string& line : requests) {
        EXPECT_NE(line.find(" status=206"), std::string::npos) << line;
        EXPECT_GT(RangeBytes(line), 0u) << "only Range requests: " << line;
        asked += RangeBytes(line);
    }
    EXPECT_GE(asked, 106000u);
    EXPECT_LE(asked, 106000u + 6 * 4096);
    EXPECT_TRUE(TemporaryFilesIn(launcher_.Path() + L"\\maps").empty());
}

TEST_F(PatchTest, AnyFaultOfTheMapOrItsPartsEndsWithTheWholeFileFetchedOnce) {
    const std::string goodMap = MapOf(new_);
    std::string otherDigest = goodMap;  // the assembled file cannot have the listed digest
    {
        const std::string oldMap = MapOf(old_);
        const size_t md5 = goodMap.find("md5 ");
        otherDigest =
            oldMap.substr(0, oldMap.find("md5 ")) + goodMap.substr(md5, 37) + oldMap.substr(oldMap.find("md5 ") + 37);
    }
    // A map of the listed digest that claims a file of 1 TiB in 1 MiB blocks: no disk has room.
    std::string huge = "vardenhal-blockmap 1\nlength 1099511627776\nblock-size 1048576\nstrong-bytes 8\n" +
                       goodMap.substr(goodMap.find("md5 "), 37) + "\n" + std::string(12u << 20, '\0');
    // A version that differs from the old file where the listed one does, and in one more place.
    std::string another = new_;
    another.replace(15u << 20, 50000, std::string(50000, 'a'));
    // An old file that holds none of the new one's blocks.
    const std::string unrelated(old_.rbegin(), old_.rend());
    const struct {
        const char* name;
        std::string map;                     // "" for none
        const char* fault;                   // on the file itself, "" for none
        bool refused;                        // the map is refused before any part is asked for
        const std::string* local = nullptr;  // the old file, when not old_
    } cases[] = {
        {"no map", "", "", true},
        {"a map of another version", MapOf(another), "", true},
        {"a map cut short", goodMap.substr(0, goodMap.size() - 5), "", true},
        {"a damaged header", "vardenhal-blockmap 2" + goodMap.substr(20), "", true},
        {"a map that claims a file no disk has room for", huge, "", true},
        {"a server that ignores Range", goodMap, "no-ranges", false},
        {"a part that comes back wrong", goodMap, "bad-part", false},
        {"an assembled file that fails the listed digest", otherDigest, "", false},
        {"an old file that holds none of it", goodMap, "", true, &unrelated},
    };
    for (const auto& c : cases) {
        DeleteFileW((served_ + L".blockmap").c_str());
        if (!c.map.empty())
            WriteBytes(served_ + L".blockmap", c.map);
        DeleteFileW((served_ + L".fault").c_str());
        if (*c.fault)
            WriteBytes(served_ + L".fault", c.fault);
        WriteBytes(local_, c.local ? *c.local : old_);
        const size_t logged = TestServerLogSince().size();
        collected.clear();
        Run();
        EXPECT_EQ(collected.back(), L"finished 1") << c.name;
        EXPECT_TRUE(ReadBytes(local_) == new_) << c.name;
        size_t whole = 0;
        size_t parts = 0;
        for (const std::string& line : FileRequests(logged)) {
            whole += line.find(" range=") == std::string::npos && line.find(" status=200") != std::string::npos;
            parts += line.find(" range=") != std::string::npos;
        }
        EXPECT_EQ(whole, 1u) << c.name << "\n" << TestServerLogSince(logged);
        if (c.refused) {
            EXPECT_EQ(parts, 0u) << c.name << "\n" << TestServerLogSince(logged);
        }
    }
}

TEST_F(PatchTest, CancelWhileAPartComesKeepsTheOldFileAsItWas) {
    WriteBytes(served_ + L".fault", "hold=1000");
    const size_t logged = TestServerLogSince().size();
    bool held = false;
    const ULONGLONG endMs =
        CancelRunWhen([&] { held = WaitForLogged("/maps/big.dat VardenhalUpdater https range=bytes=", logged); });
    ReleaseServedFile(served_);
    ASSERT_TRUE(held) << TestServerLogSince(logged);
    EXPECT_LT(endMs, 2000u);
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.");
    EXPECT_TRUE(ReadBytes(local_) == old_) << "the old file byte for byte";
    EXPECT_TRUE(TemporaryFilesIn(launcher_.Path() + L"\\maps").empty());
}

TEST_F(PatchTest, AKeptPartOfTheWholeFileIsGoneOnFromRatherThanPatched) {
    // No map yet: the whole file comes, and CANCEL keeps the 8 MiB that came before the server held it.
    DeleteFileW((served_ + L".blockmap").c_str());
    WriteBytes(served_ + L".fault", "once:hold=8388608");
    CancelRunWhen([&] {
        for (int i = 0; i < 3000 && LengthOf(TemporaryDownloadPath(local_)) < (8u << 20); ++i)
            Sleep(10);
    });
    ReleaseServedFile(served_);
    ASSERT_EQ(LengthOf(TemporaryDownloadPath(local_)), 8u << 20);

    ServeMap(new_);
    flags_.cancelRequested.store(false);
    const size_t logged = TestServerLogSince().size();
    collected.clear();
    Run();
    EXPECT_EQ(collected.back(), L"finished 1");
    EXPECT_TRUE(ReadBytes(local_) == new_);
    const std::string log = TestServerLogSince(logged);
    EXPECT_EQ(CountOccurrences(log, ".blockmap "), 0u) << log;
    const std::vector<std::string> requests = FileRequests(logged);
    ASSERT_EQ(requests.size(), 1u) << log;
    EXPECT_NE(requests[0].find(" range=bytes=8388608- if-range="), std::string::npos) << log;
}

TEST_F(PatchTest, CancelWhileTheOldFileIsSearchedEndsWithinASecond) {
    // 1 GiB of zeros that hold none of the new version's blocks: the search rolls over every byte.
    const std::string small = new_.substr(0, 2u << 20);
    WriteBytes(updaterFolder_ + L"\\filelist.txt", Serve("maps/big.dat", small));
    ServeMap(small);
    MakeLongFile(local_, 1ll << 30);
    const size_t logged = TestServerLogSince().size();
    // The search holds the old file open without write sharing once the map has come.
    bool searching = false;
    const ULONGLONG endMs = CancelRunWhen(
        [&] { searching = WaitForLogged("/maps/big.dat.blockmap ", logged) && WaitUntilHeldForReading(local_); });
    EXPECT_TRUE(searching) << TestServerLogSince(logged);
    EXPECT_LT(endMs, 1000u);
    RecordProperty("cancel_search_ms", static_cast<int>(endMs));
    ASSERT_GE(collected.size(), 2u);
    EXPECT_EQ(collected[collected.size() - 2], L"status Update cancelled.");
    EXPECT_EQ(LengthOf(local_), 1ull << 30);
    EXPECT_TRUE(TemporaryFilesIn(launcher_.Path() + L"\\maps").empty());
    EXPECT_EQ(CountOccurrences(TestServerLogSince(logged), " range="), 0u) << "cancelled before any part";
}

TEST(PostStatusText, TheReceiverGetsACopyAndAFailedPostFreesIt) {
    HWND window = CreateCollector();
    ASSERT_NE(window, nullptr);
    std::wstring text = L"Downloading: system/l2.ini";
    EXPECT_TRUE(PostStatusText(window, text));
    text.clear();  // the posted copy does not depend on the caller's string
    DrainMessages();
    EXPECT_EQ(collected, Lines{L"status Downloading: system/l2.ini"});

    DestroyWindow(window);
    // 256 MiB of copies to a window that is gone: kept, they would eat the 32-bit address space.
    const std::wstring large(2u << 20, L'x');
    const uint64_t before = CommittedBytes();
    for (int i = 0; i < 64; ++i)
        ASSERT_FALSE(PostStatusText(window, large));
    const uint64_t after = CommittedBytes();
    EXPECT_LT(after > before ? after - before : 0, 64ull << 20);
    EXPECT_FALSE(PostStatusText(nullptr, text));
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_UPDATE_STATUS, WM_UPDATE_STATUS, PM_REMOVE));
}

// The thread procedure end to end, where nothing answers at the compiled-in root (a reserved
// ".example" host, or the loopback port of the acceptance suite, whose server is not running
// while these tests run): the argument block is taken over and the run ends for lack of a connection.
TEST(StartUpdateWorker, RunsTheWorkerOnItsOwnThreadUntilTheFinishMessage) {
    const std::string root = kUpdateServerRoot;
    const bool reserved = root.size() >= 8 && root.compare(root.size() - 8, 8, ".example") == 0;
    const bool loopback = root.rfind("https://localhost:", 0) == 0 || root.rfind("https://127.0.0.1:", 0) == 0;
    if (!reserved && !loopback)
        GTEST_SKIP() << "the compiled-in server root is a real server";
    HWND window = CreateCollector();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(StartUpdateWorker(window, std::make_shared<UpdateRunFlags>()));
    const DWORD deadline = GetTickCount() + 60000;
    while ((collected.empty() || collected.back().compare(0, 8, L"finished") != 0) && GetTickCount() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
        DrainMessages();
    }
    const Lines expected = {L"status Checking for updates...", L"status Error: Cannot connect to update server.",
                            L"finished 0"};
    EXPECT_EQ(collected, expected);
    DestroyWindow(window);
}

}  // namespace
