// The one way the music's commands leave the process: MCI string commands.
#pragma once

#include <string>

// Sends `command` to MCI and returns its result (0 on success).
unsigned SendMciString(const std::wstring& command);
