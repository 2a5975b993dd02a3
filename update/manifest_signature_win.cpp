#include "update/manifest_signature_win.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "update/manifest_signature.h"

namespace {

// Open provider and key handles, closed whichever way the check ends.
struct ScopedAlgorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ~ScopedAlgorithm() {
        if (handle)
            BCryptCloseAlgorithmProvider(handle, 0);
    }
};
struct ScopedKey {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~ScopedKey() {
        if (handle)
            BCryptDestroyKey(handle);
    }
};
struct ScopedHash {
    BCRYPT_HASH_HANDLE handle = nullptr;
    ~ScopedHash() {
        if (handle)
            BCryptDestroyHash(handle);
    }
};

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

std::string ComputeSha256(const std::string& bytes) {
    ScopedAlgorithm algorithm;
    ScopedHash hash;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(algorithm.handle, &hash.handle, nullptr, 0, nullptr, 0, 0)))
        return std::string();
    // BCryptHashData takes a ULONG: a list larger than that goes in pieces.
    const size_t kPiece = 1u << 30;
    for (size_t offset = 0; offset < bytes.size(); offset += kPiece) {
        const size_t length = bytes.size() - offset < kPiece ? bytes.size() - offset : kPiece;
        PUCHAR data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + offset));
        if (!Succeeded(BCryptHashData(hash.handle, data, static_cast<ULONG>(length), 0)))
            return std::string();
    }
    std::string digest(32, '\0');
    if (!Succeeded(BCryptFinishHash(hash.handle, reinterpret_cast<PUCHAR>(&digest[0]), 32, 0)))
        return std::string();
    return digest;
}

bool VerifyManifestSignature(const std::string& point, const std::string& bytes, const std::string& signature) {
    if (point.size() != kPublicPointBytes || signature.size() != kSignatureBytes)
        return false;
    std::string digest = ComputeSha256(bytes);
    if (digest.empty())
        return false;
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kPublicPointBytes);
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kPublicPointBytes / 2};
    memcpy(blob.data(), &header, sizeof(header));
    memcpy(blob.data() + sizeof(header), point.data(), kPublicPointBytes);
    ScopedAlgorithm algorithm;
    ScopedKey key;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptImportKeyPair(algorithm.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key.handle, blob.data(),
                                       static_cast<ULONG>(blob.size()), 0)))
        return false;
    std::string copy = signature;
    return BCryptVerifySignature(key.handle, nullptr, reinterpret_cast<PUCHAR>(&digest[0]), 32,
                                 reinterpret_cast<PUCHAR>(&copy[0]), static_cast<ULONG>(copy.size()), 0) == 0;
}
