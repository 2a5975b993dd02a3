// Checking a signed update list with the system's own cryptography (bcrypt.dll).
#pragma once

#include <string>

// SHA-256 of `bytes` (32 bytes), or "" when the system cannot compute it.
std::string ComputeSha256(const std::string& bytes);

// True only when `signature` (r then s) is an ECDSA P-256 signature of SHA-256(`bytes`) made with
// the private half of `point` (X then Y). Any other input, or a failure of the system's
// cryptography, gives false.
bool VerifyManifestSignature(const std::string& point, const std::string& bytes, const std::string& signature);
