// Digests as the manifest writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Two lower-case hexadecimal digits per byte, in order ("%02x" each).
std::string FormatDigestHex(const uint8_t* bytes, size_t count);
