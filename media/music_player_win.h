// Background music through MCI, working on launcherState's musicPath, musicVolume and musicPlaying.
#pragma once

#include <cstdint>
#include <string>

void StartMusic();
// Sends volume (percent) to the open device; storing it in musicVolume is the caller's business.
void SetMusicVolume(int32_t volume);
void StopMusic();

// The one way commands leave the process: mciSendStringW by default, a recorder in tests.
using MusicCommandSender = unsigned (*)(const std::wstring& command);
unsigned SendMciString(const std::wstring& command);
extern MusicCommandSender musicCommandSender;
