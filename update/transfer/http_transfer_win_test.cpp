#include "update/transfer/http_transfer_win.h"
#include "update/list/memory_download_win.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "test_support_win.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/transfer/file_fetch_win.h"

namespace {

// Files under the local server's /updater/ folder, made by each test and removed after it.
class HttpTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = TestServerRoot();
        served_ = TestServerFolder();
        if (root_.empty() || served_.empty())
            GTEST_SKIP() << "no local update server (VARDENHAL_TEST_SERVER, VARDENHAL_TEST_SERVER_DIR)";
        prefix_ = "transfer-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW((served_ + L"\\" + Widen(prefix_)).c_str(), nullptr);
    }
    void TearDown() override {
        if (!served_.empty())
            RemoveTree(served_ + L"\\" + Widen(prefix_));
    }
    // Where a served file lies.
    std::wstring ServedPath(const std::string& name) { return served_ + L"\\" + Widen(prefix_) + L"\\" + Widen(name); }
    // Puts `bytes` on the server and returns its address.
    std::string Serve(const std::string& name, const std::string& bytes, const char* fault = nullptr) {
        const std::wstring path = ServedPath(name);
        WriteBytes(path, bytes);
        if (fault)
            WriteBytes(path + L".fault", fault);
        return root_ + "/updater/" + prefix_ + "/" + name;
    }
    // The digest of a served file, as the list would give it.
    std::string DigestOf(const std::string& name) {
        return ComputeFileMd5(served_ + L"\\" + Widen(prefix_) + L"\\" + Widen(name));
    }

    std::string root_;
    std::wstring served_;
    std::string prefix_;
    TemporaryFolder local_;
};

std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    return bytes;
}

TEST_F(HttpTransferTest, DownloadToStringReadsTheWholeBody) {
    const std::string manifest = "system/l2.ini|900150983cd24fb0d6963f7d28e17f72\r\nmaps/a.unr|x\n";
    EXPECT_EQ(DownloadToString(Serve("filelist.txt", manifest)), manifest);
    // Bodies longer than one read block arrive whole.
    const std::string large = Pattern(100000);
    EXPECT_EQ(DownloadToString(Serve("large.txt", large)), large);
}

TEST_F(HttpTransferTest, DownloadToStringGivesNothingForErrorsAndCutBodies) {
    EXPECT_EQ(DownloadToString(root_ + "/updater/" + prefix_ + "/no-such-file.txt"), "");
    EXPECT_EQ(DownloadToString(Serve("error.txt", "a|b\n", "500")), "");
    EXPECT_EQ(DownloadToString(Serve("cut.txt", Pattern(200000), "cut")), "");
    EXPECT_EQ(DownloadToString("https://127.0.0.1:1/updater/filelist.txt"), "");
    const std::atomic<bool> cancelled{true};
    EXPECT_EQ(DownloadToString(Serve("cancelled.txt", "a|b\n"), kTransferLimits, nullptr, &cancelled), "");
}

TEST_F(HttpTransferTest, DownloadToFileCreatesEveryMissingFolder) {
    const std::string body = Pattern(300000);  // several file blocks
    const std::wstring target = local_.Path() + L"\\one\\two\\three\\file.dat";
    const std::string deep = Serve("deep.dat", body);
    ASSERT_EQ(DownloadToFile(deep, target, DigestOf("deep.dat")), DownloadOutcome::kStored);
    EXPECT_TRUE(IsFolder(local_.Path() + L"\\one\\two\\three"));
    EXPECT_EQ(ReadBytes(target), body);
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(target)));

    // Forward slashes in the local path are separators too.
    const std::wstring slashed = local_.Path() + L"\\a/b\\c.dat";
    const std::string small = Serve("small.dat", "xyz");
    ASSERT_EQ(DownloadToFile(small, slashed, DigestOf("small.dat")), DownloadOutcome::kStored);
    EXPECT_EQ(ReadBytes(local_.Path() + L"\\a\\b\\c.dat"), "xyz");
}

TEST_F(HttpTransferTest, DownloadToFileReplacesAnExistingFile) {
    const std::wstring target = local_.Path() + L"\\replace.dat";
    WriteBytes(target, std::string(500000, 'o'));  // longer than the new content
    // The listed digest may come in capitals.
    const std::string address = Serve("new.dat", "new content");
    ASSERT_EQ(DownloadToFile(address, target, "96C15C2BB2921193BF290DF8CD85E2BA"), DownloadOutcome::kStored);
    EXPECT_EQ(ReadBytes(target), "new content");

    const std::wstring empty = local_.Path() + L"\\sub\\empty.dat";
    WriteBytes(local_.Path() + L"\\placeholder", "");
    ASSERT_EQ(DownloadToFile(Serve("empty.dat", ""), empty, "d41d8cd98f00b204e9800998ecf8427e"),
              DownloadOutcome::kStored);
    bool readable = false;
    EXPECT_EQ(ReadBytes(empty, &readable), "");
    EXPECT_TRUE(readable);
}

TEST_F(HttpTransferTest, FailedDownloadsKeepTheOldFileAndOnlyACutOneItsFirstPart) {
    const std::wstring target = local_.Path() + L"\\game\\kept.dat";
    CreateDirectoryW((local_.Path() + L"\\game").c_str(), nullptr);
    const std::string old = "old content that must survive";
    WriteBytes(target, old);

    const std::string body = Pattern(400000);
    const std::string digest = "ca13447140c6f7e1603333ca8894fec5";  // Pattern(400000)'s
    const struct {
        std::string address;
        std::string md5;
        DownloadOutcome outcome;
        bool kept;
    } cases[] = {
        {root_ + "/updater/" + prefix_ + "/missing.dat", digest, DownloadOutcome::kFailed, false},  // no 404 page
        {Serve("error.dat", "body", "500"), digest, DownloadOutcome::kFailedForNow, false},
        // Whole, with its length, but not the listed bytes; and a line without a digest.
        {Serve("other.dat", body), "0123456789abcdef0123456789abcdef", DownloadOutcome::kFailed, false},
        {Serve("listed.dat", body), "", DownloadOutcome::kFailed, false},
        {Serve("cut.dat", body, "cut"), digest, DownloadOutcome::kFailedForNow, true},
    };
    ASSERT_EQ(DigestOf("listed.dat"), digest);
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadToFile(c.address, target, c.md5), c.outcome) << c.address;
        EXPECT_EQ(ReadBytes(target), old) << c.address;
        EXPECT_EQ(PathExists(TemporaryDownloadPath(target)), c.kept) << c.address;
        EXPECT_EQ(PathExists(ResumeRecordPath(target)), c.kept) << c.address;
    }
}

TEST_F(HttpTransferTest, ACutDownloadGoesOnWhereItStoppedWhenTheServerStillHasThatVersion) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    const std::string body = Pattern(1000000);
    std::string changed = body;
    changed[700000] ^= 0x55;
    const struct {
        const char* name;
        std::function<void(const std::string& name, const std::wstring& target)> between;
        std::string result;
        size_t requests;
        size_t rangeRequests;
    } cases[] = {
        {"resumed", [](const std::string&, const std::wstring&) {}, body, 1, 1},
        {"a new version on the server", [&](const std::string& name, const std::wstring&) { Serve(name, changed); },
         changed, 1, 1},
        {"a server that ignores ranges",
         [&](const std::string& name, const std::wstring&) { Serve(name, body, "no-ranges"); }, body, 1, 1},
        {"the launcher closed midway, before the byte count was written",
         [](const std::string&, const std::wstring& target) {
             const std::string record = ReadBytes(ResumeRecordPath(target));
             WriteBytes(ResumeRecordPath(target), record.substr(0, record.find("bytes ")));
         },
         body, 1, 1},
        {"a 206 from another byte than asked",
         [&](const std::string& name, const std::wstring&) {
             WriteBytes(served_ + L"\\" + Widen(prefix_) + L"\\" + Widen(name) + L".fault", "wrong-range");
         },
         body, 2, 1},
        {"a kept part that went bad",
         [](const std::string&, const std::wstring& target) {
             std::string part = ReadBytes(TemporaryDownloadPath(target));
             part[1000] ^= 0x01;
             WriteBytes(TemporaryDownloadPath(target), part);
         },
         body, 2, 1},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::string name = "resume" + std::to_string(++index) + ".dat";
        const std::string address = Serve(name, body, "once:cut=600000");
        const std::wstring target = local_.Path() + L"\\" + Widen(name);
        ASSERT_EQ(DownloadToFile(address, target, DigestOf(name)), DownloadOutcome::kFailedForNow) << c.name;
        ASSERT_EQ(ReadBytes(TemporaryDownloadPath(target)).size(), 600000u) << c.name;
        c.between(name, target);
        const std::wstring served = served_ + L"\\" + Widen(prefix_) + L"\\" + Widen(name);
        const size_t logged = TestServerLogSince().size();

        EXPECT_EQ(DownloadToFile(address, target, ComputeFileMd5(served)), DownloadOutcome::kStored) << c.name;
        EXPECT_TRUE(ReadBytes(target) == c.result) << c.name;
        EXPECT_FALSE(PathExists(TemporaryDownloadPath(target))) << c.name;
        EXPECT_FALSE(PathExists(ResumeRecordPath(target))) << c.name;
        const std::string requests = TestServerLogSince(logged);
        EXPECT_EQ(CountOccurrences(requests, name + " "), c.requests) << c.name << ":\n" << requests;
        EXPECT_EQ(CountOccurrences(requests, "range=bytes=600000- if-range="), c.rangeRequests) << c.name << ":\n"
                                                                                                << requests;
    }
}

TEST_F(HttpTransferTest, CancelEndsATransferWithinASecondAndTheNextTryGoesOnFromWhatArrived) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    // The server sends the first 256 KiB, then holds the rest until the test lets it go.
    const uint64_t sent = 256u << 10;
    const std::string body = Pattern(4u << 20);
    const std::string address = Serve("held.dat", body, "once:hold=262144");
    const std::string digest = DigestOf("held.dat");
    const std::wstring target = local_.Path() + L"\\held.dat";
    WriteBytes(target, "old");
    std::atomic<bool> cancel{false};
    ULONGLONG pressed = 0;
    std::thread press([&] {
        for (int i = 0; i < 3000 && LengthOf(TemporaryDownloadPath(target)) < sent; ++i)
            Sleep(10);
        pressed = GetTickCount64();
        cancel = true;
    });
    EXPECT_EQ(DownloadToFile(address, target, digest, kTransferLimits, nullptr, &cancel), DownloadOutcome::kCancelled);
    const ULONGLONG returned = GetTickCount64();
    press.join();
    ReleaseServedFile(ServedPath("held.dat"));
    EXPECT_LT(returned - pressed, 1000u);
    EXPECT_EQ(ReadBytes(target), "old");
    const uint64_t kept = LengthOf(TemporaryDownloadPath(target));
    EXPECT_EQ(kept, sent);
    EXPECT_TRUE(CanResumeDownload(TemporaryDownloadPath(target)));
    EXPECT_EQ(DownloadToString(address, kTransferLimits, nullptr, &cancel), "");
    // A list that stalls after its first bytes: CANCEL, pressed once the request is there, ends the wait too.
    cancel = false;
    const size_t beforeStall = TestServerLogSince().size();
    std::thread pressLater([&] {
        WaitForLogged("/stalled.txt ", beforeStall);
        pressed = GetTickCount64();
        cancel = true;
    });
    EXPECT_EQ(DownloadToString(Serve("stalled.txt", Pattern(100000), "stall"), kTransferLimits, nullptr, &cancel), "");
    const ULONGLONG stallEnded = GetTickCount64();
    pressLater.join();
    EXPECT_LT(stallEnded - pressed, 1000u);
    RecordProperty("stalled_list_cancel_ms", static_cast<int>(stallEnded - pressed));

    const size_t logged = TestServerLogSince().size();
    EXPECT_EQ(DownloadToFile(address, target, digest), DownloadOutcome::kStored);
    EXPECT_TRUE(ReadBytes(target) == body);
    EXPECT_FALSE(PathExists(ResumeRecordPath(target)));
    const std::string requests = TestServerLogSince(logged);
    EXPECT_EQ(CountOccurrences(requests, "range=bytes=" + std::to_string(kept) + "- "), 1u) << requests;
}

TEST_F(HttpTransferTest, AFetchWaitsWhileTheRunsSixTransfersAreUnderWay) {
    if (!HasTestServerLog())
        GTEST_SKIP() << "no request log of the local server (VARDENHAL_TEST_SERVER_LOG)";
    const std::string held = Serve("held.dat", Pattern(100000), "hold=1000");
    const std::string next = Serve("next.dat", "next");
    const std::shared_ptr<FetchShare> share = OpenFetchShare(nullptr, kTransferLimits);
    share->transfers = kTransfersAtOnce - 1;  // five under way elsewhere
    FileFetch first(held, local_.Path() + L"\\held.dat", DigestOf("held.dat"), kTransferLimits, share, TransferStop());
    FileFetch second(next, local_.Path() + L"\\next.dat", DigestOf("next.dat"), kTransferLimits, share, TransferStop());
    const size_t logged = TestServerLogSince().size();
    DownloadOutcome firstEnd = DownloadOutcome::kFailed;
    DownloadOutcome secondEnd = DownloadOutcome::kFailed;
    EXPECT_FALSE(first.Step(&firstEnd));
    ASSERT_TRUE(WaitForLogged("/held.dat ", logged));
    // The sixth transfer is the held one: the next fetch asks for nothing while it lasts, however
    // long that is (a second here).
    uint64_t seen = 0;
    bool secondEnded = false;
    for (int i = 0; i < 20 && !secondEnded; ++i) {
        secondEnded = second.Step(&secondEnd);
        WaitForTransfers(share->session, &seen, 50);
    }
    EXPECT_FALSE(secondEnded);
    EXPECT_EQ(share->transfers, kTransfersAtOnce);
    ReleaseServedFile(ServedPath("held.dat"));
    bool firstEnded = false;
    for (int i = 0; i < 600 && !(firstEnded && secondEnded); ++i) {
        firstEnded = firstEnded || first.Step(&firstEnd);
        secondEnded = secondEnded || second.Step(&secondEnd);
        WaitForTransfers(share->session, &seen, 100);
    }
    EXPECT_EQ(firstEnd, DownloadOutcome::kFetched);
    EXPECT_EQ(secondEnd, DownloadOutcome::kFetched);
    EXPECT_EQ(share->transfers, kTransfersAtOnce - 1) << "both gave their transfer back";
}

TEST_F(HttpTransferTest, CancelEndsABodyThatComesFasterThanItIsStored) {
    // 16 MiB at the server's full pace into a sink that takes 20 ms a block: blocks are always
    // queued when CANCEL comes, after 1 MiB.
    const std::string address = Serve("fast.dat", Pattern(16u << 20));
    std::atomic<bool> cancel{false};
    uint64_t taken = 0;
    uint64_t takenAfterThePress = 0;
    ULONGLONG pressed = 0;
    BodySink sink;
    sink.onAnswer = [](const Answer&) { return true; };
    sink.onBlock = [&](const char*, DWORD length) {
        Sleep(20);
        taken += length;
        if (cancel)
            takenAfterThePress += length;
        if (taken >= (1u << 20) && !cancel) {
            pressed = GetTickCount64();
            cancel = true;
        }
        return true;
    };
    const BodyEnd end = Transfer(
        nullptr, TransferOrder{address, 65536, kTransferLimits, RequestOptions(), TransferStop{&cancel, nullptr}},
        sink);
    const ULONGLONG returned = GetTickCount64();
    EXPECT_EQ(static_cast<int>(end), static_cast<int>(BodyEnd::kCancelled));
    EXPECT_TRUE(cancel);
    EXPECT_LT(returned - pressed, 1000u);
    EXPECT_EQ(takenAfterThePress, 0u);
}

// A volume of 48 MiB (a tmpfs the test script mounts), seen through Z:.
TEST_F(HttpTransferTest, ADiskThatFillsUpDuringAWriteMeansNoRoomNotAFileThatCannotBeWritten) {
    const std::string volume = EnvironmentValue("VARDENHAL_TEST_SMALL_VOLUME");
    if (volume.empty() || !HasTestServerLog())
        GTEST_SKIP() << "no small volume (VARDENHAL_TEST_SMALL_VOLUME) or no request log";
    const std::wstring folder = WinePathFromUnix(volume) + L"\\transfer-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    // The first MiB comes at once, with room for all eight; then another program fills the disk,
    // and only then does the rest come.
    const std::string address = Serve("filling.dat", Pattern(8u << 20), "hold=1048576");
    const std::wstring target = folder + L"\\filling.dat";
    DownloadOutcome outcome = DownloadOutcome::kStored;
    std::thread download([&] { outcome = DownloadToFile(address, target, DigestOf("filling.dat")); });
    for (int i = 0; i < 3000 && LengthOf(TemporaryDownloadPath(target)) < (1u << 20); ++i)
        Sleep(10);
    HANDLE filler = CreateFileW((folder + L"\\filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(filler, INVALID_HANDLE_VALUE);
    const std::string block(1u << 20, 'f');
    DWORD written = 1;
    while (written > 0 && WriteFile(filler, block.data(), static_cast<DWORD>(block.size()), &written, nullptr))
        ;
    // 100 KiB left free, so that a block of the download meets the end of the room midway.
    LARGE_INTEGER end = {};
    ASSERT_TRUE(SetFilePointerEx(filler, end, &end, FILE_END));
    end.QuadPart -= 100 << 10;
    EXPECT_TRUE(SetFilePointerEx(filler, end, nullptr, FILE_BEGIN) && SetEndOfFile(filler));
    CloseHandle(filler);
    ReleaseServedFile(ServedPath("filling.dat"));
    download.join();
    EXPECT_EQ(outcome, DownloadOutcome::kNoRoom);
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(target)));
    RemoveTree(folder);
}

TEST_F(HttpTransferTest, UnreachableServerFailsAfterCreatingTheFolders) {
    const std::wstring target = local_.Path() + L"\\x\\y\\file.dat";
    EXPECT_EQ(DownloadToFile("https://127.0.0.1:1/updater/file.dat", target, "d41d8cd98f00b204e9800998ecf8427e"),
              DownloadOutcome::kFailedForNow);
    EXPECT_TRUE(IsFolder(local_.Path() + L"\\x\\y"));
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(target)));
}

TEST_F(HttpTransferTest, TargetThatCannotBeReplacedIsLeftAlone) {
    const std::string address = Serve("fresh.dat", "fresh");
    const std::string digest = DigestOf("fresh.dat");

    // Held without sharing by another program for longer than the replace waits.
    const std::wstring held = local_.Path() + L"\\held.dat";
    WriteBytes(held, "held content");
    HANDLE other = CreateFileW(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DownloadToFile(address, held, digest), DownloadOutcome::kInUse);
    CloseHandle(other);
    EXPECT_EQ(ReadBytes(held), "held content");
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(held)));
    // Let go within the wait, it is replaced.
    other = CreateFileW(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::thread release([other] {
        Sleep(500);
        CloseHandle(other);
    });
    EXPECT_EQ(DownloadToFile(address, held, digest), DownloadOutcome::kStored);
    release.join();
    EXPECT_EQ(ReadBytes(held), "fresh");

    // These are known before any request.
    const std::wstring readOnly = local_.Path() + L"\\readonly.dat";
    WriteBytes(readOnly, "read-only content");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring folder = local_.Path() + L"\\folder.dat";
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(local_.Path() + L"\\file", "a file");
    const size_t logged = TestServerLogSince().size();
    for (const std::wstring& target : {readOnly, folder, local_.Path() + L"\\file\\below.dat"}) {
        EXPECT_EQ(DownloadToFile(address, target, digest), DownloadOutcome::kCannotWrite);
        EXPECT_FALSE(PathExists(TemporaryDownloadPath(target)));
    }
    EXPECT_EQ(ReadBytes(readOnly), "read-only content");
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(ReadBytes(local_.Path() + L"\\file"), "a file");
    if (HasTestServerLog()) {
        EXPECT_EQ(CountOccurrences(TestServerLogSince(logged), "/fresh.dat "), 0u);
    }
}

// Short bounds, so the hostile cases end in seconds: 2 s of silence, or under 1 KiB/s over 4 s.
TransferLimits ShortLimits() {
    TransferLimits limits;
    limits.timeoutMs = 2000;
    limits.slowWindowMs = 4000;
    return limits;
}

double SecondsOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The most the working set grew above its size at the start while `action` ran.
size_t WorkingSetGrowthDuring(const std::function<void()>& action) {
    auto workingSet = [] {
        PROCESS_MEMORY_COUNTERS counters = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
        return counters.WorkingSetSize;
    };
    const SIZE_T before = workingSet();
    std::atomic<bool> done{false};
    SIZE_T peak = before;
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak, workingSet());
            Sleep(5);
        }
    });
    action();
    done = true;
    sampler.join();
    return peak - before;
}

TEST_F(HttpTransferTest, BrokenAndHostileAnswersFailInTimeAndKeepTheOldFile) {
    const std::string body = Pattern(300000);
    Serve("body.dat", body);
    const std::string bodyDigest = ComputeFileMd5(served_ + L"\\" + Widen(prefix_) + L"\\body.dat");
    const struct {
        const char* fault;
        bool stored;
    } cases[] = {
        {"stall", false},                             // 1,000 bytes, then silence
        {"trickle=0.5", false},                       // a byte every half second: never silent for 2 s
        {"chunked-cut", false},                       // no length, and the last chunk missing
        {"close-cut", false},                         // no length, ended by closing halfway
        {"redirect-http", false},                     // to plain HTTP
        {"redirect-self", false},                     // round in circles
        {"redirect=6", false},                        // one hop too many
        {"redirect=5", true},     {"chunked", true},  // no length, but the right digest
        {"close", true},
    };
    const std::wstring target = local_.Path() + L"\\kept.dat";
    for (const auto& c : cases) {
        WriteBytes(target, "old");
        const std::string address = root_ + "/_fault/" + c.fault + "/updater/" + prefix_ + "/body.dat";
        const size_t logged = TestServerLogSince().size();
        // The short bounds only where the answer must fail: a busy machine may pause a good one.
        const TransferLimits limits = c.stored ? kTransferLimits : ShortLimits();
        bool stored = false;
        const double seconds = SecondsOf(
            [&] { stored = DownloadToFile(address, target, bodyDigest, limits) == DownloadOutcome::kStored; });
        EXPECT_EQ(stored, c.stored) << c.fault;
        EXPECT_TRUE(ReadBytes(target) == (c.stored ? body : "old")) << c.fault;
        EXPECT_FALSE(PathExists(TemporaryDownloadPath(target))) << c.fault;
        EXPECT_LT(seconds, 20.0) << c.fault;
        // Nothing goes over plain HTTP, not even a connection.
        if (HasTestServerLog()) {
            EXPECT_EQ(CountOccurrences(TestServerLogSince(logged), " http\n"), 0u) << c.fault;
        }
    }
    // A body without a length and no digest to check it by is never taken.
    EXPECT_EQ(DownloadToFile(root_ + "/_fault/close/updater/" + prefix_ + "/body.dat", target, "", ShortLimits()),
              DownloadOutcome::kFailed);
}

TEST_F(HttpTransferTest, AnEndlessBodyStopsAtTheLimits) {
    // The manifest stops at its limit, without holding more than that.
    std::string manifest = "x";
    const size_t growth = WorkingSetGrowthDuring(
        [&] { manifest = DownloadToString(root_ + "/_fault/endless/updater/" + prefix_ + "/none.txt"); });
    EXPECT_EQ(manifest, "");
    EXPECT_LT(growth, (64u + 16u) << 20);
    RecordProperty("working_set_growth_kib", static_cast<int>(growth >> 10));
    EXPECT_EQ(DownloadToString(root_ + "/_fault/oversized=70000000/updater/none.txt"), "");

    // A file stops before the disk's free space falls under the minimum kept free.
    ULARGE_INTEGER available = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(local_.Path().c_str(), &available, nullptr, nullptr));
    TransferLimits limits = ShortLimits();
    limits.lengthlessFreeBytes = available.QuadPart - (8u << 20);
    const std::wstring target = local_.Path() + L"\\endless.dat";
    WriteBytes(target, "old");
    EXPECT_EQ(DownloadToFile(Serve("endless.dat", "endless ", "endless"), target, "x", limits),
              DownloadOutcome::kNoRoom);
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(target)));
}

TEST_F(HttpTransferTest, AListComesDecodedAndNotAgainWhileUnchangedAndABombStopsAtTheLimit) {
    // A gzip copy beside the list, which the server sends to whoever accepts gzip: `list`, gzip -9n.
    // The plain list differs, to show which came.
    const std::string list = "a.dat|d41d8cd98f00b204e9800998ecf8427e\n";
    const std::string gzip(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\xd4\x4b\x49\x2c\xa9\x49\x31\x31\x4c"
        "\xb1\x48\x4e\xb1\xb4\x48\x33\x30\x48\x32\x32\x30\x49\xb5\xb4\x30\x30\xb0\xb4\xb4"
        "\x48\x4d\x4e\xb3\x30\x31\x32\x4f\xe5\x02\x00\x5f\x0c\xf8\x4e\x27\x00\x00\x00",
        59);
    const std::string address = Serve("filelist.txt", "plain.dat|d41d8cd98f00b204e9800998ecf8427e\n");
    Serve("filelist.txt.gz", gzip);
    const ListAnswer whole = DownloadList(address, "", kTransferLimits, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(whole.kind), static_cast<int>(ListAnswer::Kind::kList));
    EXPECT_EQ(whole.text, list);
    ASSERT_FALSE(whole.validator.empty());
    const ListAnswer same = DownloadList(address, whole.validator, kTransferLimits, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(same.kind), static_cast<int>(ListAnswer::Kind::kNotModified));
    EXPECT_EQ(same.text, "");
    EXPECT_EQ(
        static_cast<int>(
            DownloadList(root_ + "/updater/" + prefix_ + "/none.txt", "", kTransferLimits, nullptr, nullptr).kind),
        static_cast<int>(ListAnswer::Kind::kUnreachable));

    // The limit holds to the byte for what comes out of the gzip, not only for what goes in.
    TransferLimits oneMebibyte;
    oneMebibyte.maxManifestBytes = 1u << 20;
    for (const uint64_t size : {oneMebibyte.maxManifestBytes, oneMebibyte.maxManifestBytes + 1}) {
        const ListAnswer list = DownloadList(root_ + "/_fault/gzip-bomb=" + std::to_string(size) + "/updater/list.txt",
                                             "", oneMebibyte, nullptr, nullptr);
        const bool fits = size <= oneMebibyte.maxManifestBytes;
        EXPECT_EQ(static_cast<int>(list.kind),
                  static_cast<int>(fits ? ListAnswer::Kind::kList : ListAnswer::Kind::kRefused))
            << size;
        EXPECT_EQ(list.text.size(), fits ? size : 0u) << size;
    }

    // 100 MB of lines from a gzip of some 300 KB: refused at 64 MiB, holding no more than that.
    ListAnswer bomb;
    const size_t growth = WorkingSetGrowthDuring([&] {
        bomb = DownloadList(root_ + "/_fault/gzip-bomb=100000000/updater/filelist.txt", "", kTransferLimits, nullptr,
                            nullptr);
    });
    EXPECT_EQ(static_cast<int>(bomb.kind), static_cast<int>(ListAnswer::Kind::kRefused));
    EXPECT_EQ(bomb.text, "");
    EXPECT_LT(growth, (64u + 32u) << 20);
    RecordProperty("gzip_bomb_working_set_growth_kib", static_cast<int>(growth >> 10));
    if (HasTestServerLog()) {
        // Only the list asks for gzip: the lengths and ranges of files are their bytes'.
        const size_t logged = TestServerLogSince().size();
        DownloadToFile(Serve("plain.dat", "plain"), local_.Path() + L"\\plain.dat", DigestOf("plain.dat"));
        EXPECT_EQ(TestServerLogSince(logged).find("accept-encoding="), std::string::npos) << TestServerLogSince(logged);
    }
}

TEST_F(HttpTransferTest, ATargetPathThatFitsDownloadsThoughItsTemporaryNameIsLonger) {
    std::wstring target = local_.Path();
    while (target.size() < 200)
        target += L"\\" + std::wstring(std::min<size_t>(40, 199 - target.size()) + 1, L'd');
    target += L"\\" + std::wstring(255 - target.size() - 1, L'f');
    ASSERT_EQ(target.size(), 255u);
    const std::string address = Serve("long.dat", "long way down");
    ASSERT_EQ(DownloadToFile(address, target, DigestOf("long.dat")), DownloadOutcome::kStored);
    EXPECT_EQ(ReadBytes(target), "long way down");
    EXPECT_FALSE(PathExists(LongPathForm(TemporaryDownloadPath(target))));
}

}  // namespace
