// MD5 of a local file through CryptoAPI.
#pragma once

#include <string>

// 32 lower-case hexadecimal digits, or the empty string when the file cannot be opened
// or the digest cannot be computed.
std::string ComputeFileMd5(const std::wstring& path);
