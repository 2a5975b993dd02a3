#include "game/game_launch_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "base/launcher_folder_win.h"
#include "test_support_win.h"

namespace {

using Clock = std::chrono::steady_clock;

// The stand-in client is built beside the test binary.
std::wstring FakeClientPath() {
    wchar_t self[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\')) + L"\\fake_client.exe";
}

void InstallClient(const std::wstring& folder) {
    CreateDirectoryW((folder + L"\\system").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(FakeClientPath().c_str(), (folder + L"\\system\\l2.exe").c_str(), FALSE))
        << "fake_client.exe missing beside the test binary";
}

template <typename Paths>
bool NoneExists(const Paths& paths) {
    for (const std::wstring& path : paths)
        if (PathExists(path))
            return false;
    return true;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(GameLaunch, PresenceMeansAnythingAtSystemL2Exe) {
    enum class Layout { Nothing, EmptySystem, Client, FolderNamedClient, ClientOutsideSystem, OtherName };
    const struct {
        Layout layout;
        bool present;
    } cases[] = {
        {Layout::Nothing, false},          {Layout::EmptySystem, false},         {Layout::Client, true},
        {Layout::FolderNamedClient, true}, {Layout::ClientOutsideSystem, false}, {Layout::OtherName, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.layout));
        TemporaryFolder temp;
        const std::wstring& folder = temp.Path();
        if (c.layout != Layout::Nothing && c.layout != Layout::ClientOutsideSystem)
            CreateDirectoryW((folder + L"\\system").c_str(), nullptr);
        switch (c.layout) {
            case Layout::Client:
                InstallClient(folder);
                break;
            case Layout::FolderNamedClient:
                CreateDirectoryW((folder + L"\\system\\l2.exe").c_str(), nullptr);
                break;
            case Layout::ClientOutsideSystem:
                WriteBytes(folder + L"\\l2.exe", "MZ");
                break;
            case Layout::OtherName:
                WriteBytes(folder + L"\\system\\l2.ex", "MZ");
                break;
            default:
                break;
        }
        EXPECT_EQ(IsGameClientPresent(folder), c.present);
        // A doubled separator, as in a launcher kept in a drive root, finds the same object.
        EXPECT_EQ(IsGameClientPresent(folder + L"\\"), c.present);
    }
}

TEST(GameLaunch, LauncherOwnFolderHasNoClient) {
    // The test binary's folder is a build folder without system\l2.exe.
    EXPECT_FALSE(IsGameClientPresent(GetLauncherFolder()));
}

TEST(GameLaunch, ClientStartsInTheLauncherFolderAndAutoLoginFilesGoASecondLater) {
    TemporaryFolder temp;
    const std::wstring& folder = temp.Path();
    InstallClient(folder);
    const std::wstring autoLoginFiles[] = {folder + L"\\AutoLogin", folder + L"\\AutoLogin.ini",
                                           folder + L"\\system\\AutoLogin.ini"};
    for (const std::wstring& path : autoLoginFiles)
        WriteBytes(path, "account=player\r\n");
    // DeleteFileW removes files only: a folder of one of the names stays.
    const std::wstring autoLoginFolder = folder + L"\\system\\AutoLogin";
    CreateDirectoryW(autoLoginFolder.c_str(), nullptr);
    WriteBytes(autoLoginFolder + L"\\inside.ini", "x");
    WriteBytes(folder + L"\\AutoLogin.bak", "kept");

    const Clock::time_point start = Clock::now();
    LaunchGame(folder);
    // Checked only while the second of grace surely lasts, so a slow shell cannot fail it.
    if (MillisecondsSince(start) < 900) {
        for (const std::wstring& path : autoLoginFiles)
            EXPECT_TRUE(PathExists(path)) << "deleted before the client had its second";
    }

    const std::wstring cwdFile = folder + L"\\system\\client-cwd.txt";
    ASSERT_TRUE(WaitUntil([&] { return PathExists(cwdFile); }, std::chrono::seconds(20)))
        << "the stand-in client never ran";
    const std::string bytes = ReadBytes(cwdFile);
    const std::wstring directory(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_EQ(lstrcmpiW(directory.c_str(), folder.c_str()), 0)
        << std::string(directory.begin(), directory.end()) << " vs " << std::string(folder.begin(), folder.end());

    ASSERT_TRUE(WaitUntil([&] { return NoneExists(autoLoginFiles); }, std::chrono::seconds(10)));
    EXPECT_GE(MillisecondsSince(start), 950);
    EXPECT_TRUE(IsFolder(autoLoginFolder));
    EXPECT_TRUE(PathExists(autoLoginFolder + L"\\inside.ini"));
    EXPECT_TRUE(PathExists(folder + L"\\AutoLogin.bak"));
    EXPECT_TRUE(PathExists(folder + L"\\system\\l2.exe"));
}

TEST(GameLaunch, CleanUpRunsWithTheClientMissing) {
    TemporaryFolder temp;
    const std::wstring& folder = temp.Path();
    CreateDirectoryW((folder + L"\\system").c_str(), nullptr);
    const std::wstring autoLoginFolder = folder + L"\\AutoLogin";
    CreateDirectoryW(autoLoginFolder.c_str(), nullptr);
    const std::wstring autoLoginFiles[] = {folder + L"\\AutoLogin.ini", folder + L"\\system\\AutoLogin.ini",
                                           folder + L"\\system\\AutoLogin"};
    for (const std::wstring& path : autoLoginFiles)
        WriteBytes(path, "account=player\r\n");
    ASSERT_FALSE(IsGameClientPresent(folder));

    const Clock::time_point start = Clock::now();
    LaunchGame(folder);
    ASSERT_TRUE(WaitUntil([&] { return NoneExists(autoLoginFiles); }, std::chrono::seconds(10)));
    EXPECT_GE(MillisecondsSince(start), 950);
    EXPECT_TRUE(IsFolder(autoLoginFolder));
}

TEST(GameLaunch, CleanUpWaitsASecondAndTriesEveryPathPastFailures) {
    TemporaryFolder temp;
    const std::wstring& folder = temp.Path();
    CreateDirectoryW((folder + L"\\system").c_str(), nullptr);
    // Only the last of the four exists: the three failed deletions before it must not stop it.
    const std::wstring last = folder + L"\\system\\AutoLogin";
    WriteBytes(last, "x");

    const Clock::time_point start = Clock::now();
    CleanUpAutoLogin(folder);
    EXPECT_GE(MillisecondsSince(start), 950);
    EXPECT_FALSE(PathExists(last));
}

}  // namespace
