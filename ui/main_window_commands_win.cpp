#include "ui/main_window_commands_win.h"

#include <windows.h>
#include <shellapi.h>

#include "base/launcher_folder_win.h"
#include "game/game_launch_win.h"
#include "media/music_commands.h"
#include "media/music_player_win.h"
#include "ui/info_dialog_win.h"
#include "ui/launcher_state_win.h"
#include "update/run/update_worker_win.h"

MainWindowCommands mainWindowCommands = {
    OpenLinkInBrowser, [] { LaunchGame(GetLauncherFolder()); }, OpenInfoDialog, StartUpdateWorker, SendMciString,
};

void OpenLinkInBrowser(const char* address) {
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

namespace {

MusicState LauncherMusicState() {
    return {launcherState.musicPath, launcherState.musicVolume, launcherState.musicPlaying};
}

}  // namespace

void StartMusic() {
    StartMusicWith(mainWindowCommands.sendMusicCommand, LauncherMusicState());
}

void SetMusicVolume(int32_t volume) {
    SetMusicVolumeWith(mainWindowCommands.sendMusicCommand, volume);
}

void StopMusic() {
    StopMusicWith(mainWindowCommands.sendMusicCommand, LauncherMusicState());
}
