#include "tools/filelist/signing.h"

#include <vector>

#include "tools/filelist/key_file.h"
#include "update/list/manifest_signature.h"
#include "update/list/manifest_signature_win.h"

bool GenerateSigningKey(std::string* keyFile, std::string* point) {
    P256Key key;
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (!OpenP256Provider(&key) || BCryptGenerateKeyPair(key.algorithm.Get(), &raw, 256, 0) < 0)
        return false;
    key.key.Reset(raw);
    if (BCryptFinalizeKeyPair(key.key.Get(), 0) < 0)
        return false;
    // BCRYPT_ECCKEY_BLOB, then X, Y and d.
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kPublicPointBytes + kPublicPointBytes / 2);
    ULONG length = 0;
    if (BCryptExportKey(key.key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                        &length, 0) < 0 ||
        length != blob.size())
        return false;
    const char* values = reinterpret_cast<const char*>(blob.data() + sizeof(BCRYPT_ECCKEY_BLOB));
    point->assign(values, kPublicPointBytes);
    *keyFile = FormatKeyFile(std::string(values + kPublicPointBytes, kPublicPointBytes / 2), *point);
    return true;
}

bool SignWithKeyFile(const std::string& keyFile, const std::string& bytes, std::string* signature) {
    std::string scalar;
    std::string point;
    P256Key key;
    std::string digest = ComputeSha256(bytes);
    if (!ParseKeyFile(keyFile, &scalar, &point) || digest.empty() || !ImportP256Key(point, scalar, &key))
        return false;
    signature->assign(kSignatureBytes, '\0');
    ULONG length = 0;
    return BCryptSignHash(key.key.Get(), nullptr, reinterpret_cast<PUCHAR>(&digest[0]), 32,
                          reinterpret_cast<PUCHAR>(&(*signature)[0]), kSignatureBytes, &length, 0) >= 0 &&
           length == kSignatureBytes;
}

bool VerifySignature(const std::string& point, const std::string& bytes, const std::string& signature) {
    return VerifyManifestSignature(point, bytes, signature);
}
