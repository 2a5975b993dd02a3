// The forms of a signed update list: the operator's public key as the build takes it, the bytes
// a signature covers, and the detached signature file "filelist.txt.sig" beside the list.
//  - The key: base64 of the DER SubjectPublicKeyInfo of an ECDSA P-256 key with an uncompressed
//    point (what "openssl pkey -pubout" writes between its PEM lines, on one line).
//  - The signed bytes: "VardenhalUpdateList\n", the sequence number in decimal, "\n", then the
//    list's exact bytes. The sequence is the operator's count of releases, higher for every later
//    list, so that an old list and its signature cannot be served again as new. The fixed first
//    line keeps any other message of ours from passing for a signed list.
//  - The signature: ECDSA P-256 over SHA-256 of the signed bytes, as r then s, 32 bytes each,
//    big-endian.
//  - The signature file: two lines, each ended by LF (or CR LF), nothing before or after:
//        sequence N
//        signature BASE64
//    N is decimal, 1 to 2^63-1, without sign or leading zeros; BASE64 holds the 64 signature
//    bytes, padded.
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
// A signature file is two short lines; an answer much longer is not one.
constexpr uint64_t kMostSignatureFileBytes = 4096;
constexpr uint64_t kMostSequence = 9223372036854775807u;  // 2^63-1, so that it fits any signed 64-bit type

// X then Y of the key, or false when the text is not a P-256 key in the form above.
bool ParseManifestPublicKey(const std::string& base64Key, std::string* point);
std::string FormatManifestPublicKey(const std::string& point);
// The same key as DER bytes, the form libraries take.
bool ReadPublicKeyInfo(const std::string& der, std::string* point);
std::string MakePublicKeyInfo(const std::string& point);

// A sequence number in its decimal form above, or false.
bool ParseSequence(const std::string& text, uint64_t* sequence);

// What a signature covers for a list with that sequence; the prefix is all of it but the list, for
// code that hashes the list where it lies.
std::string SignedListBytes(uint64_t sequence, const std::string& listBytes);
std::string SignedListPrefix(uint64_t sequence);

// r then s, and the sequence, or false when the text is not a signature file in the form above.
bool ParseSignatureFile(const std::string& text, std::string* signature, uint64_t* sequence);
std::string FormatSignatureFile(uint64_t sequence, const std::string& signature);
