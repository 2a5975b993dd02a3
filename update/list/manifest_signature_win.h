// Checking a signed update list with the system's own cryptography (bcrypt.dll).
#pragma once

#include <cstdint>
#include <string>

#include "base/scoped_win.h"

// SHA-256 of `bytes` followed by `more` (32 bytes), or "" when the system cannot compute it.
std::string ComputeSha256(const std::string& bytes, const std::string& more = std::string());

// True only when `signature` (r then s) is an ECDSA P-256 signature of SHA-256(`bytes`) made with
// the private half of `point` (X then Y). Any other input, or a failure of the system's
// cryptography, gives false.
bool VerifyManifestSignature(const std::string& point, const std::string& bytes, const std::string& signature);

// True only when `signatureFileText` is a signature file (manifest_signature.h) whose signature
// is good for `listBytes` and its sequence under the base64 public key; then sets `sequence`.
bool VerifySignedList(const std::string& publicKeyBase64,
                      const std::string& listBytes,
                      const std::string& signatureFileText,
                      uint64_t* sequence);

// An ECDSA P-256 key in bcrypt; the provider is declared first, so it outlives the key.
struct P256Key {
    ScopedBCryptAlgorithm algorithm;
    ScopedBCryptKey key;
};
// Opens the provider alone, for a key still to be made.
bool OpenP256Provider(P256Key* key);
// Imports the public point (X then Y) and, for signing, the private scalar d (32 bytes).
bool ImportP256Key(const std::string& point, const std::string& privateScalar, P256Key* key);
