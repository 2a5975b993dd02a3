// Digests as the manifest writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Two lower-case hexadecimal digits per byte, in order ("%02x" each).
std::string FormatDigestHex(const uint8_t* bytes, size_t count);

// Whether a computed digest is the listed one, in any letter case. An empty digest on either
// side never matches: it stands for a file that could not be read or a line without a digest.
bool DigestsMatch(const std::string& computed, const std::string& listed);

// 32 lower-case hexadecimal digits: a digest as we write it.
bool IsMd5Text(const std::string& text);
