#include "media/music_player_win.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test_support_win.h"
#include "ui/launcher_state_win.h"

namespace {

struct SentCommand {
    std::wstring command;
    unsigned result;
};
std::vector<SentCommand> sentCommands;
unsigned openAnswer = 0;

unsigned RecordOnly(const std::wstring& command) {
    const unsigned result = command.rfind(L"open ", 0) == 0 ? openAnswer : 0;
    sentCommands.push_back({command, result});
    return result;
}

unsigned RecordAndSend(const std::wstring& command) {
    const unsigned result = SendMciString(command);
    sentCommands.push_back({command, result});
    return result;
}

// Keeps what the real device answered in the test report.
void RecordResults() {
    for (const SentCommand& sent : sentCommands)
        testing::Test::RecordProperty(
            std::string(sent.command.begin(), sent.command.begin() + sent.command.find(L' ')) + "_" +
                std::to_string(&sent - sentCommands.data()),
            static_cast<int>(sent.result));
}

std::vector<std::wstring> SentTexts() {
    std::vector<std::wstring> texts;
    for (const SentCommand& sent : sentCommands)
        texts.push_back(sent.command);
    return texts;
}

// Restores the sender and the music members of the shared state after each test.
class MusicPlayerTest : public testing::Test {
protected:
    void SetUp() override {
        savedPath_ = launcherState.musicPath;
        savedVolume_ = launcherState.musicVolume;
        savedPlaying_ = launcherState.musicPlaying;
        sentCommands.clear();
        openAnswer = 0;
    }
    void TearDown() override {
        musicCommandSender = SendMciString;
        launcherState.musicPath = savedPath_;
        launcherState.musicVolume = savedVolume_;
        launcherState.musicPlaying = savedPlaying_;
    }

private:
    std::wstring savedPath_;
    int32_t savedVolume_ = 0;
    bool savedPlaying_ = false;
};

TEST_F(MusicPlayerTest, OperationsWorkOnTheLauncherState) {
    musicCommandSender = RecordOnly;
    launcherState.musicPath = L"C:\\users\\player\\Temp\\vhl_music.mp3";
    launcherState.musicVolume = 30;
    launcherState.musicPlaying = false;

    StartMusic();
    EXPECT_TRUE(launcherState.musicPlaying);
    SetMusicVolume(0);
    EXPECT_EQ(launcherState.musicVolume, 30);  // the caller keeps the chosen volume
    SetMusicVolume(launcherState.musicVolume);
    StopMusic();
    EXPECT_FALSE(launcherState.musicPlaying);

    const std::vector<std::wstring> expected = {
        L"close bgmusic",
        L"open \"C:\\users\\player\\Temp\\vhl_music.mp3\" type mpegvideo alias bgmusic",
        L"play bgmusic repeat",
        L"setaudio bgmusic volume to 300",
        L"setaudio bgmusic volume to 0",
        L"setaudio bgmusic volume to 300",
        L"stop bgmusic",
        L"close bgmusic",
    };
    EXPECT_EQ(SentTexts(), expected);
}

TEST_F(MusicPlayerTest, RealMciFailsToOpenAnEmptyPathAndStopsThere) {
    musicCommandSender = RecordAndSend;
    launcherState.musicPath.clear();
    launcherState.musicVolume = 30;
    launcherState.musicPlaying = false;

    StartMusic();
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 2u);
    EXPECT_EQ(sentCommands[1].command, L"open \"\" type mpegvideo alias bgmusic");
    EXPECT_NE(sentCommands[1].result, 0u);
    EXPECT_FALSE(launcherState.musicPlaying);
}

std::wstring QueryMci(const wchar_t* command, unsigned* result) {
    wchar_t answer[128] = {};
    *result = mciSendStringW(command, answer, 128, nullptr);
    return answer;
}

// One real session with an MP3, copied into a folder with blanks in its name.
TEST_F(MusicPlayerTest, RealMciPlaysAnMp3InALoop) {
    const std::string source = EnvironmentValue("VARDENHAL_TEST_MP3");
    if (source.empty())
        GTEST_SKIP() << "VARDENHAL_TEST_MP3 names no MP3 file";
    const std::wstring sourcePath = source[0] == '/' ? WinePathFromUnix(source) : Widen(source);
    bool read = false;
    const std::string bytes = ReadBytes(sourcePath, &read);
    ASSERT_TRUE(read) << source;

    TemporaryFolder temp;
    const std::wstring folder = temp.Path() + L"\\Local Settings With Blanks";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring musicPath = folder + L"\\vhl_music.mp3";
    WriteBytes(musicPath, bytes);

    musicCommandSender = RecordAndSend;
    launcherState.musicPath = musicPath;
    launcherState.musicVolume = 30;
    launcherState.musicPlaying = false;

    StartMusic();
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 4u) << "open answered " << sentCommands.at(1).result;
    // Nothing was open under the alias yet, so only the first close may fail.
    for (size_t i = 1; i < sentCommands.size(); ++i)
        EXPECT_EQ(sentCommands[i].result, 0u) << i;
    EXPECT_TRUE(launcherState.musicPlaying);

    unsigned statusResult = 1;
    std::wstring mode;
    for (int attempt = 0; attempt < 50 && mode != L"playing"; ++attempt) {
        mode = QueryMci(L"status bgmusic mode", &statusResult);
        if (mode != L"playing")
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    testing::Test::RecordProperty("status_mode",
                                  std::string(mode.begin(), mode.end()) + " (" + std::to_string(statusResult) + ")");
    EXPECT_EQ(statusResult, 0u);
    EXPECT_EQ(mode, L"playing");

    sentCommands.clear();
    SetMusicVolume(100);
    StopMusic();
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 3u);
    for (const SentCommand& sent : sentCommands)
        EXPECT_EQ(sent.result, 0u) << std::string(sent.command.begin(), sent.command.end());
    EXPECT_FALSE(launcherState.musicPlaying);

    // Closed: the alias is gone and the file is free to be deleted, as shutdown does.
    QueryMci(L"status bgmusic mode", &statusResult);
    EXPECT_NE(statusResult, 0u);
    EXPECT_TRUE(DeleteFileW(musicPath.c_str()));
}

}  // namespace
