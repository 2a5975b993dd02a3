// MD5 of a local file through CryptoAPI.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// 32 lower-case hexadecimal digits, or the empty string when the file cannot be opened or read
// or the digest cannot be computed. `onBlock`, when given, hears the length of each block read.
std::string ComputeFileMd5(const std::wstring& path, const std::function<void(uint32_t)>& onBlock = nullptr);
