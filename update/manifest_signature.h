// The forms of a signed update list: the operator's public key as the build takes it, and the
// detached signature file "filelist.txt.sig" beside the list. Both are base64 text:
//  - the key: the DER SubjectPublicKeyInfo of an ECDSA P-256 key with an uncompressed point
//    (what "openssl pkey -pubout" writes between its PEM lines, on one line);
//  - the signature: ECDSA P-256 over SHA-256 of the list's exact bytes, as r then s, 32 bytes
//    each, big-endian; one line, a line end after it allowed.
#pragma once

#include <cstdint>
#include <string>

// The operator's public key compiled in, or "" in a build that takes the list as it comes.
extern const char kManifestPublicKey[];

// Strict base64 with padding: false for any other character, a wrong length or bad padding.
bool DecodeBase64(const std::string& text, std::string* bytes);
std::string EncodeBase64(const std::string& bytes);

constexpr size_t kPublicPointBytes = 64;  // X then Y
constexpr size_t kSignatureBytes = 64;    // r then s
// A signature file is one short line; an answer much longer is not one.
constexpr uint64_t kMostSignatureFileBytes = 4096;

// X then Y of the key, or false when the text is not a P-256 key in the form above.
bool ParseManifestPublicKey(const std::string& base64Key, std::string* point);
std::string FormatManifestPublicKey(const std::string& point);
// The same key as DER bytes, the form libraries take.
bool ReadPublicKeyInfo(const std::string& der, std::string* point);
std::string MakePublicKeyInfo(const std::string& point);

// r then s, or false when the file is not one line of base64 holding 64 bytes.
bool ParseSignatureFile(const std::string& text, std::string* signature);
std::string FormatSignatureFile(const std::string& signature);
