// Where the game client and its AutoLogin files lie under the launcher's folder.
#pragma once

#include <array>
#include <string>

constexpr wchar_t kGameClientFragment[] = L"\\system\\l2.exe";
// Deleted in this order after a game start; files only, folders of these names stay.
constexpr std::array<const wchar_t*, 4> kAutoLoginFragments = {
    L"\\AutoLogin",
    L"\\AutoLogin.ini",
    L"\\system\\AutoLogin.ini",
    L"\\system\\AutoLogin",
};

// folder has no trailing separator; the result is folder + "\system\l2.exe".
std::wstring BuildGameClientPath(const std::wstring& folder);

// The four AutoLogin paths under folder, in deletion order.
std::array<std::wstring, 4> BuildAutoLoginPaths(const std::wstring& folder);
