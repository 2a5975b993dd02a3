// Starting the game client under the launcher's folder and removing its AutoLogin files afterwards.
#pragma once

#include <string>

// Whether anything (a folder counts) exists at system\l2.exe under the launcher's folder.
bool IsGameClientPresent();
// Asks the shell to start the client and starts the detached AutoLogin clean-up; returns at once.
void LaunchGame();

// The same, for a given folder (no trailing separator).
bool IsGameClientPresentIn(const std::wstring& folder);
void LaunchGameIn(const std::wstring& folder);

// Body of the clean-up thread: waits a second, then deletes the four AutoLogin files under folder.
void CleanUpAutoLogin(std::wstring folder);

constexpr unsigned kAutoLoginCleanUpDelayMs = 1000;
