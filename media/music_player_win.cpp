#include "media/music_player_win.h"

#include <windows.h>
#include <mmsystem.h>

#include "media/music_commands.h"
#include "ui/launcher_state_win.h"

MusicCommandSender musicCommandSender = SendMciString;

unsigned SendMciString(const std::wstring& command) {
    // Fire and forget: no answer text is wanted and no window waits for notifications.
    return mciSendStringW(command.c_str(), nullptr, 0, nullptr);
}

namespace {

unsigned SendThroughCurrentSender(const std::wstring& command) {
    return musicCommandSender(command);
}

MusicState LauncherMusicState() {
    return {launcherState.musicPath, launcherState.musicVolume, launcherState.musicPlaying};
}

}  // namespace

void StartMusic() {
    StartMusicWith(SendThroughCurrentSender, LauncherMusicState());
}

void SetMusicVolume(int32_t volume) {
    SetMusicVolumeWith(SendThroughCurrentSender, volume);
}

void StopMusic() {
    StopMusicWith(SendThroughCurrentSender, LauncherMusicState());
}
