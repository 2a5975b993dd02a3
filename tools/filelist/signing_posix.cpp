#include "tools/filelist/signing.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

#include "update/list/manifest_signature.h"

namespace {

struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof(group), &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// X then Y from the key's DER SubjectPublicKeyInfo, which for P-256 is the form the launcher reads.
bool PublicPointOf(EVP_PKEY* key, std::string* point) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0)
        return false;
    const std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return ReadPublicKeyInfo(bytes, point);
}

}  // namespace

bool GenerateSigningKey(std::string* keyFile, std::string* point) {
    Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    Owned<BIO> memory(BIO_new(BIO_s_mem()));
    if (!key || !memory || !PEM_write_bio_PrivateKey(memory.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        return false;
    char* text = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &text);
    keyFile->assign(text, static_cast<size_t>(length));
    return PublicPointOf(key.get(), point);
}

bool SignWithKeyFile(const std::string& keyFile, const std::string& bytes, std::string* signature) {
    Owned<BIO> memory(BIO_new_mem_buf(keyFile.data(), static_cast<int>(keyFile.size())));
    Owned<EVP_PKEY> key(memory ? PEM_read_bio_PrivateKey(memory.get(), nullptr, nullptr, nullptr) : nullptr);
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (!key || !IsP256(key.get()) || !context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return false;
    size_t length = 0;
    if (EVP_DigestSign(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size()) != 1)
        return false;
    std::string der(length, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&der[0]), &length,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
        return false;
    // OpenSSL signs in DER; the launcher takes r and s as two 32-byte numbers.
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
    if (!parsed)
        return false;
    signature->assign(kSignatureBytes, '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(&(*signature)[0]);
    return BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), out, 32) == 32 &&
           BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), out + 32, 32) == 32;
}

bool VerifySignature(const std::string& point, const std::string& bytes, const std::string& signature) {
    if (point.size() != kPublicPointBytes || signature.size() != kSignatureBytes)
        return false;
    const std::string der = MakePublicKeyInfo(point);
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    Owned<EVP_PKEY> key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der.size())));
    Owned<ECDSA_SIG> parsed(ECDSA_SIG_new());
    if (!key || !parsed)
        return false;
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(signature.data());
    BIGNUM* r = BN_bin2bn(raw, 32, nullptr);
    BIGNUM* s = BN_bin2bn(raw + 32, 32, nullptr);
    if (!r || !s || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* encoded = nullptr;
    const int encodedLength = i2d_ECDSA_SIG(parsed.get(), &encoded);
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    const bool valid = encodedLength > 0 && context &&
                       EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
                       EVP_DigestVerify(context.get(), encoded, static_cast<size_t>(encodedLength),
                                        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
    OPENSSL_free(encoded);
    return valid;
}
