#include "ui/main_window_commands_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/launcher_state_win.h"

namespace {

std::vector<std::wstring> sentCommands;

unsigned RecordCommand(const std::wstring& command) {
    sentCommands.push_back(command);
    return 0;
}

TEST(MainWindowMusic, OperationsWorkOnTheLauncherState) {
    const MainWindowCommands savedCommands = mainWindowCommands;
    const std::wstring savedPath = launcherState.musicPath;
    const int32_t savedVolume = launcherState.musicVolume;
    const bool savedPlaying = launcherState.musicPlaying;
    sentCommands.clear();
    mainWindowCommands.sendMusicCommand = RecordCommand;
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
    EXPECT_EQ(sentCommands, expected);

    mainWindowCommands = savedCommands;
    launcherState.musicPath = savedPath;
    launcherState.musicVolume = savedVolume;
    launcherState.musicPlaying = savedPlaying;
}

}  // namespace
