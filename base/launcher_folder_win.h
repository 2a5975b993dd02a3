// The folder of the running executable, the game client folder the launcher lives in.
#pragma once

#include <string>

// Full path of the running executable, however long it is.
std::wstring GetExecutablePath();

// The executable's folder without a trailing separator, computed afresh at each call.
std::wstring GetLauncherFolder();
