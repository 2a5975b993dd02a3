#include "media/music_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every command; the open command answers with openResult, everything else with 0.
struct RecordingMci {
    std::vector<std::wstring> commands;
    unsigned openResult = 0;

    SendMusicCommand Sender() {
        return [this](const std::wstring& command) -> unsigned {
            commands.push_back(command);
            return command.rfind(L"open ", 0) == 0 ? openResult : 0;
        };
    }
};

// MCIERR_CANNOT_LOAD_DRIVER, what Wine answers when it cannot open the file.
constexpr unsigned kOpenFailed = 277;

TEST(MusicCommands, StartSendsCloseOpenPlayThenVolumeAndMarksPlaying) {
    struct Case {
        const wchar_t* musicPath;
        int32_t musicVolume;
        const wchar_t* openCommand;
        const wchar_t* volumeCommand;
    };
    const Case cases[] = {
        // What the window sends when it is created.
        {L"C:\\users\\player\\Temp\\vhl_music.mp3", 30,
         L"open \"C:\\users\\player\\Temp\\vhl_music.mp3\" type mpegvideo alias bgmusic",
         L"setaudio bgmusic volume to 300"},
        // Blanks in the temporary folder stay inside the quotes.
        {L"C:\\Documents and Settings\\Player One\\Local Settings\\Temp\\vhl_music.mp3", 100,
         L"open \"C:\\Documents and Settings\\Player One\\Local Settings\\Temp\\vhl_music.mp3\" type mpegvideo alias "
         L"bgmusic",
         L"setaudio bgmusic volume to 1000"},
        {L"D:\\t\\vhl_music.mp3", 0, L"open \"D:\\t\\vhl_music.mp3\" type mpegvideo alias bgmusic",
         L"setaudio bgmusic volume to 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.musicVolume);
        RecordingMci mci;
        const std::wstring musicPath = c.musicPath;
        const int32_t musicVolume = c.musicVolume;
        bool musicPlaying = false;
        StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
        const std::vector<std::wstring> expected = {L"close bgmusic", c.openCommand, L"play bgmusic repeat",
                                                    c.volumeCommand};
        EXPECT_EQ(mci.commands, expected);
        EXPECT_TRUE(musicPlaying);
    }
}

TEST(MusicCommands, FailedOpenSendsNothingMoreAndKeepsThePlayingFlag) {
    for (const bool playingBefore : {false, true}) {
        RecordingMci mci;
        mci.openResult = kOpenFailed;
        const std::wstring musicPath;  // the music resource was missing
        const int32_t musicVolume = 30;
        bool musicPlaying = playingBefore;
        StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
        const std::vector<std::wstring> expected = {L"close bgmusic", L"open \"\" type mpegvideo alias bgmusic"};
        EXPECT_EQ(mci.commands, expected);
        EXPECT_EQ(musicPlaying, playingBefore);
    }
}

TEST(MusicCommands, VolumeIsSentInTenthsOfAPercent) {
    const struct {
        int32_t volume;
        const wchar_t* command;
    } cases[] = {
        {0, L"setaudio bgmusic volume to 0"},       // muting
        {30, L"setaudio bgmusic volume to 300"},    // unmuting at the start volume
        {1, L"setaudio bgmusic volume to 10"},      //
        {99, L"setaudio bgmusic volume to 990"},    //
        {100, L"setaudio bgmusic volume to 1000"},  // slider at its right end
        // Out of the window's range: held to what the device accepts.
        {-5, L"setaudio bgmusic volume to 0"},
        {101, L"setaudio bgmusic volume to 1000"},
        {INT32_MAX, L"setaudio bgmusic volume to 1000"},
        {INT32_MIN, L"setaudio bgmusic volume to 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        RecordingMci mci;
        SetMusicVolumeWith(mci.Sender(), c.volume);
        EXPECT_EQ(mci.commands, std::vector<std::wstring>{c.command});
    }
}

TEST(MusicCommands, LongestVolumeCommandFitsItsBuffer) {
    const std::wstring command = BuildMusicVolumeCommand(kMaxMusicVolume);
    EXPECT_EQ(command.size(), 31u);
    EXPECT_LT(command.size(), kMusicVolumeCommandLength);
}

TEST(MusicCommands, MuteThenUnmuteSendsZeroThenTheChosenVolume) {
    RecordingMci mci;
    const std::wstring musicPath = L"C:\\t\\vhl_music.mp3";
    const int32_t musicVolume = 30;
    bool musicPlaying = false;
    StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    mci.commands.clear();

    SetMusicVolumeWith(mci.Sender(), 0);
    SetMusicVolumeWith(mci.Sender(), musicVolume);
    const std::vector<std::wstring> expected = {L"setaudio bgmusic volume to 0", L"setaudio bgmusic volume to 300"};
    EXPECT_EQ(mci.commands, expected);
    EXPECT_TRUE(musicPlaying);  // the volume changes no state
}

TEST(MusicCommands, StopThenPlayRestartsFromTheTopAtTheCurrentVolume) {
    RecordingMci mci;
    const std::wstring musicPath = L"C:\\t\\vhl_music.mp3";
    int32_t musicVolume = 30;
    bool musicPlaying = false;
    StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    mci.commands.clear();

    StopMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    EXPECT_EQ(mci.commands, (std::vector<std::wstring>{L"stop bgmusic", L"close bgmusic"}));
    EXPECT_FALSE(musicPlaying);
    mci.commands.clear();

    // The slider moved while muted; the start, which never sees the mute flag, plays at musicVolume.
    musicVolume = 100;
    StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    const std::vector<std::wstring> expected = {L"close bgmusic",
                                                L"open \"C:\\t\\vhl_music.mp3\" type mpegvideo alias bgmusic",
                                                L"play bgmusic repeat", L"setaudio bgmusic volume to 1000"};
    EXPECT_EQ(mci.commands, expected);
    EXPECT_TRUE(musicPlaying);
}

TEST(MusicCommands, StopWhileStoppedSendsBothCommandsAndStaysStopped) {
    RecordingMci mci;
    const std::wstring musicPath;
    const int32_t musicVolume = 30;
    bool musicPlaying = false;
    StopMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    EXPECT_EQ(mci.commands, (std::vector<std::wstring>{L"stop bgmusic", L"close bgmusic"}));
    EXPECT_FALSE(musicPlaying);
}

TEST(MusicCommands, RepeatedStartClosesTheOpenDeviceFirst) {
    RecordingMci mci;
    const std::wstring musicPath = L"C:\\t\\vhl_music.mp3";
    const int32_t musicVolume = 45;
    bool musicPlaying = false;
    StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    StartMusicWith(mci.Sender(), {musicPath, musicVolume, musicPlaying});
    ASSERT_EQ(mci.commands.size(), 8u);
    EXPECT_EQ(mci.commands[4], L"close bgmusic");
    EXPECT_EQ(mci.commands[7], L"setaudio bgmusic volume to 450");
    EXPECT_TRUE(musicPlaying);
}

}  // namespace
