#include "tools/filelist/signing.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "tools/filelist/key_file.h"
#include "update/manifest_signature.h"
#include "update/manifest_signature_win.h"

namespace {

const size_t kCoordinateBytes = kPublicPointBytes / 2;

struct OpenKey {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    ~OpenKey() {
        if (key)
            BCryptDestroyKey(key);
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

bool OpenP256(OpenKey* open) {
    return BCryptOpenAlgorithmProvider(&open->algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) >= 0;
}

}  // namespace

bool GenerateSigningKey(std::string* keyFile, std::string* point) {
    OpenKey open;
    if (!OpenP256(&open) || BCryptGenerateKeyPair(open.algorithm, &open.key, 256, 0) < 0 ||
        BCryptFinalizeKeyPair(open.key, 0) < 0)
        return false;
    // BCRYPT_ECCKEY_BLOB, then X, Y and d.
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinateBytes);
    ULONG length = 0;
    if (BCryptExportKey(open.key, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                        &length, 0) < 0 ||
        length != blob.size())
        return false;
    const char* values = reinterpret_cast<const char*>(blob.data() + sizeof(BCRYPT_ECCKEY_BLOB));
    point->assign(values, kPublicPointBytes);
    *keyFile = FormatKeyFile(std::string(values + kPublicPointBytes, kCoordinateBytes), *point);
    return true;
}

bool SignWithKeyFile(const std::string& keyFile, const std::string& bytes, std::string* signature) {
    std::string scalar;
    std::string point;
    if (!ParseKeyFile(keyFile, &scalar, &point))
        return false;
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinateBytes);
    const BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PRIVATE_P256_MAGIC, static_cast<ULONG>(kCoordinateBytes)};
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), point.data(), kPublicPointBytes);
    std::memcpy(blob.data() + sizeof(header) + kPublicPointBytes, scalar.data(), kCoordinateBytes);
    std::string digest = ComputeSha256(bytes);
    OpenKey open;
    if (digest.empty() || !OpenP256(&open) ||
        BCryptImportKeyPair(open.algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &open.key, blob.data(),
                            static_cast<ULONG>(blob.size()), 0) < 0)
        return false;
    signature->assign(kSignatureBytes, '\0');
    ULONG length = 0;
    return BCryptSignHash(open.key, nullptr, reinterpret_cast<PUCHAR>(&digest[0]), 32,
                          reinterpret_cast<PUCHAR>(&(*signature)[0]), kSignatureBytes, &length, 0) >= 0 &&
           length == kSignatureBytes;
}

bool VerifySignature(const std::string& point, const std::string& bytes, const std::string& signature) {
    return VerifyManifestSignature(point, bytes, signature);
}
