#include "media/music_commands.h"

#include <algorithm>
#include <cwchar>

std::wstring BuildOpenMusicCommand(const std::wstring& musicPath) {
    return kOpenMusicPrefix + (L'"' + musicPath + L'"') + kOpenMusicSuffix;
}

std::wstring BuildMusicVolumeCommand(int32_t volume) {
    // Callers pass 0..100; clamping keeps the product inside the device's range and out of overflow.
    const int32_t percent = std::clamp<int32_t>(volume, 0, kMaxMusicVolume);
    wchar_t command[kMusicVolumeCommandLength];
    std::swprintf(command, kMusicVolumeCommandLength, kMusicVolumeFormat, percent * kMciVolumePerPercent);
    return command;
}

void StartMusicWith(const SendMusicCommand& send, MusicState state) {
    // Closing first makes a repeated start begin the music again from the top.
    send(kCloseMusicCommand);
    if (send(BuildOpenMusicCommand(state.musicPath)) != 0)
        return;
    send(kPlayMusicCommand);
    // The volume only takes hold once playback has begun.
    send(BuildMusicVolumeCommand(state.musicVolume));
    state.musicPlaying = true;
}

void SetMusicVolumeWith(const SendMusicCommand& send, int32_t volume) {
    send(BuildMusicVolumeCommand(volume));
}

void StopMusicWith(const SendMusicCommand& send, MusicState state) {
    send(kStopMusicCommand);
    send(kCloseMusicCommand);
    state.musicPlaying = false;
}
