#include "update/list/manifest_signature_win.h"

#include <cstring>
#include <vector>

#include "update/list/manifest_signature.h"

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// BCryptHashData takes a ULONG: a list larger than that goes in pieces.
bool HashInPieces(BCRYPT_HASH_HANDLE hash, const std::string& bytes) {
    const size_t kPiece = 1u << 30;
    for (size_t offset = 0; offset < bytes.size(); offset += kPiece) {
        const size_t length = bytes.size() - offset < kPiece ? bytes.size() - offset : kPiece;
        PUCHAR data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + offset));
        if (!Succeeded(BCryptHashData(hash, data, static_cast<ULONG>(length), 0)))
            return false;
    }
    return true;
}

bool VerifyDigest(const std::string& point, std::string digest, const std::string& signature) {
    P256Key key;
    if (signature.size() != kSignatureBytes || digest.size() != 32 || !ImportP256Key(point, std::string(), &key))
        return false;
    std::string copy = signature;
    return BCryptVerifySignature(key.key.Get(), nullptr, reinterpret_cast<PUCHAR>(&digest[0]), 32,
                                 reinterpret_cast<PUCHAR>(&copy[0]), static_cast<ULONG>(copy.size()), 0) == 0;
}

}  // namespace

std::string ComputeSha256(const std::string& bytes, const std::string& more) {
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    const bool opened = Succeeded(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    ScopedBCryptAlgorithm algorithm(rawAlgorithm);
    if (!opened || !Succeeded(BCryptCreateHash(algorithm.Get(), &rawHash, nullptr, 0, nullptr, 0, 0)))
        return std::string();
    ScopedBCryptHash hash(rawHash);
    if (!HashInPieces(hash.Get(), bytes) || !HashInPieces(hash.Get(), more))
        return std::string();
    std::string digest(32, '\0');
    if (!Succeeded(BCryptFinishHash(hash.Get(), reinterpret_cast<PUCHAR>(&digest[0]), 32, 0)))
        return std::string();
    return digest;
}

bool OpenP256Provider(P256Key* key) {
    BCRYPT_ALG_HANDLE raw = nullptr;
    const bool opened = Succeeded(BCryptOpenAlgorithmProvider(&raw, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
    key->algorithm.Reset(raw);
    return opened;
}

bool ImportP256Key(const std::string& point, const std::string& privateScalar, P256Key* key) {
    const bool isPrivate = !privateScalar.empty();
    if (point.size() != kPublicPointBytes || (isPrivate && privateScalar.size() != kPublicPointBytes / 2) ||
        !OpenP256Provider(key))
        return false;
    // BCRYPT_ECCKEY_BLOB, then X, Y and, for a private key, d.
    const ULONG magic = isPrivate ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    const BCRYPT_ECCKEY_BLOB header = {magic, static_cast<ULONG>(kPublicPointBytes / 2)};
    std::vector<unsigned char> blob(sizeof(header) + point.size() + privateScalar.size());
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), point.data(), point.size());
    std::memcpy(blob.data() + sizeof(header) + point.size(), privateScalar.data(), privateScalar.size());
    BCRYPT_KEY_HANDLE raw = nullptr;
    const bool imported = Succeeded(BCryptImportKeyPair(key->algorithm.Get(), nullptr,
                                                        isPrivate ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                                                        &raw, blob.data(), static_cast<ULONG>(blob.size()), 0));
    key->key.Reset(raw);
    return imported;
}

bool VerifyManifestSignature(const std::string& point, const std::string& bytes, const std::string& signature) {
    return VerifyDigest(point, ComputeSha256(bytes), signature);
}

bool VerifySignedList(const std::string& publicKeyBase64,
                      const std::string& listBytes,
                      const std::string& signatureFileText,
                      uint64_t* sequence) {
    std::string point;
    std::string signature;
    uint64_t signedSequence = 0;
    // The list is hashed where it lies: a copy behind the prefix would double a large list in a
    // 32-bit process.
    if (!ParseManifestPublicKey(publicKeyBase64, &point) ||
        !ParseSignatureFile(signatureFileText, &signature, &signedSequence) ||
        !VerifyDigest(point, ComputeSha256(SignedListPrefix(signedSequence), listBytes), signature))
        return false;
    *sequence = signedSequence;
    return true;
}
