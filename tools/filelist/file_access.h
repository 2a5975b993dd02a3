// The tool's platform layer: one implementation per system (file_access_posix.cpp with OpenSSL's
// libcrypto, file_access_win.cpp with Win32 and CryptoAPI).
#pragma once

#include <string>
#include <vector>

#include "tools/filelist/file_list_tool.h"

FileListOperations MakeFileListOperations();

// The arguments after the program name, as UTF-8. Also puts standard output in binary mode,
// so a manifest written there keeps its LF line ends.
std::vector<std::string> ReadArguments(int argc, char** argv);
