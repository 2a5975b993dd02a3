// The MCI string commands of the background music and the order they are sent in. The Win32 side
// supplies the sender (mciSendStringW); tests supply one that records.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

constexpr wchar_t kCloseMusicCommand[] = L"close bgmusic";
constexpr wchar_t kPlayMusicCommand[] = L"play bgmusic repeat";
constexpr wchar_t kStopMusicCommand[] = L"stop bgmusic";
constexpr wchar_t kOpenMusicPrefix[] = L"open ";
constexpr wchar_t kOpenMusicSuffix[] = L" type mpegvideo alias bgmusic";
constexpr wchar_t kMusicVolumeFormat[] = L"setaudio bgmusic volume to %d";
// The MCI device takes 0..1000; the launcher speaks in percent.
constexpr int32_t kMciVolumePerPercent = 10;
constexpr int32_t kMaxMusicVolume = 100;
constexpr size_t kMusicVolumeCommandLength = 64;

// Sends one command text and returns the MCI result (0 on success).
using SendMusicCommand = std::function<unsigned(const std::wstring&)>;

// The three members of the window's state that the music works on.
struct MusicState {
    const std::wstring& musicPath;
    const int32_t& musicVolume;
    bool& musicPlaying;
};

// "open "<path>" type mpegvideo alias bgmusic": quoted, so blanks in the path survive.
std::wstring BuildOpenMusicCommand(const std::wstring& musicPath);

// "setaudio bgmusic volume to N" with N the percentage times ten.
std::wstring BuildMusicVolumeCommand(int32_t volume);

// Closes any device left under the alias, opens musicPath, loops it and applies musicVolume.
void StartMusicWith(const SendMusicCommand& send, MusicState state);

void SetMusicVolumeWith(const SendMusicCommand& send, int32_t volume);

void StopMusicWith(const SendMusicCommand& send, MusicState state);
