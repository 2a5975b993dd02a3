#include "media/music_player_win.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "media/music_commands.h"
#include "test_support_win.h"

namespace {

struct SentCommand {
    std::wstring command;
    unsigned result;
};
std::vector<SentCommand> sentCommands;
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

// The three members of the window's state that the music works on, kept by each test.
class MusicPlayerTest : public testing::Test {
protected:
    void SetUp() override { sentCommands.clear(); }

    MusicState State() { return {musicPath_, musicVolume_, musicPlaying_}; }

    std::wstring musicPath_;
    int32_t musicVolume_ = 30;
    bool musicPlaying_ = false;
};

TEST_F(MusicPlayerTest, RealMciFailsToOpenAnEmptyPathAndStopsThere) {
    StartMusicWith(RecordAndSend, State());
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 2u);
    EXPECT_EQ(sentCommands[1].command, L"open \"\" type mpegvideo alias bgmusic");
    EXPECT_NE(sentCommands[1].result, 0u);
    EXPECT_FALSE(musicPlaying_);
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

    musicPath_ = musicPath;
    StartMusicWith(RecordAndSend, State());
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 4u) << "open answered " << sentCommands.at(1).result;
    // Nothing was open under the alias yet, so only the first close may fail.
    for (size_t i = 1; i < sentCommands.size(); ++i)
        EXPECT_EQ(sentCommands[i].result, 0u) << i;
    EXPECT_TRUE(musicPlaying_);

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
    SetMusicVolumeWith(RecordAndSend, 100);
    StopMusicWith(RecordAndSend, State());
    RecordResults();
    ASSERT_EQ(sentCommands.size(), 3u);
    for (const SentCommand& sent : sentCommands)
        EXPECT_EQ(sent.result, 0u) << std::string(sent.command.begin(), sent.command.end());
    EXPECT_FALSE(musicPlaying_);

    // Closed: the alias is gone and the file is free to be deleted, as shutdown does.
    QueryMci(L"status bgmusic mode", &statusResult);
    EXPECT_NE(statusResult, 0u);
    EXPECT_TRUE(DeleteFileW(musicPath.c_str()));
}

}  // namespace
