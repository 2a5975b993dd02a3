// Starting the game client under the launcher's folder and removing its AutoLogin files afterwards.
// `folder` is the launcher's folder, without a trailing separator.
#pragma once

#include <string>

// Whether anything (a folder counts) exists at system\l2.exe under `folder`.
bool IsGameClientPresent(const std::wstring& folder);

// Asks the shell to start the client and starts the detached AutoLogin clean-up; returns at once.
void LaunchGame(const std::wstring& folder);

// Body of the clean-up thread: waits a second, then deletes the four AutoLogin files under folder.
void CleanUpAutoLogin(std::wstring folder);

constexpr unsigned kAutoLoginCleanUpDelayMs = 1000;
