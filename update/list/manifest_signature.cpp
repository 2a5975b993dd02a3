#include "update/list/manifest_signature.h"

#include <cstdint>
#include <cstring>

const char kManifestPublicKey[] = VARDENHAL_MANIFEST_PUBLIC_KEY;

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 0x04 (uncompressed) ... } }
const unsigned char kPublicKeyPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

int ValueOf(char c) {
    const char* found = c ? std::strchr(kAlphabet, c) : nullptr;
    return found ? static_cast<int>(found - kAlphabet) : -1;
}

}  // namespace

bool DecodeBase64(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text.size() % 4 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        if (padding == 1 && text[i + 2] == '=')
            return false;
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const int value = j < 4 - padding ? ValueOf(text[i + j]) : 0;
            if (value < 0)
                return false;
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // The bits a padded group leaves over must be zero, or two texts would mean one value.
        if ((padding == 1 && (group & 0xFF)) || (padding == 2 && (group & 0xFFFF)))
            return false;
        const char decoded[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                                 static_cast<char>(group)};
        bytes->append(decoded, 3 - padding);
    }
    return true;
}

std::string EncodeBase64(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t group = 0;
        for (size_t j = 0; j < 3; ++j)
            group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0);
        for (size_t j = 0; j < 4; ++j)
            text += j <= count ? kAlphabet[(group >> (18 - 6 * j)) & 0x3F] : '=';
    }
    return text;
}

bool ReadPublicKeyInfo(const std::string& der, std::string* point) {
    if (der.size() != sizeof(kPublicKeyPrefix) + kPublicPointBytes ||
        std::memcmp(der.data(), kPublicKeyPrefix, sizeof(kPublicKeyPrefix)) != 0)
        return false;
    *point = der.substr(sizeof(kPublicKeyPrefix));
    return true;
}

std::string MakePublicKeyInfo(const std::string& point) {
    return std::string(reinterpret_cast<const char*>(kPublicKeyPrefix), sizeof(kPublicKeyPrefix)) + point;
}

bool ParseManifestPublicKey(const std::string& base64Key, std::string* point) {
    std::string der;
    return DecodeBase64(base64Key, &der) && ReadPublicKeyInfo(der, point);
}

std::string FormatManifestPublicKey(const std::string& point) {
    return EncodeBase64(MakePublicKeyInfo(point));
}

bool ParseSequence(const std::string& text, uint64_t* sequence) {
    // Nineteen digits stay below 2^64, so the sum cannot wrap before the bound is checked.
    if (text.empty() || text.size() > 19 || text[0] == '0')
        return false;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > kMostSequence)
        return false;
    *sequence = value;
    return true;
}

std::string SignedListPrefix(uint64_t sequence) {
    return "VardenhalUpdateList\n" + std::to_string(sequence) + "\n";
}

std::string SignedListBytes(uint64_t sequence, const std::string& listBytes) {
    return SignedListPrefix(sequence) + listBytes;
}

namespace {

// The value after "NAME " on the next line from `*offset`, which LF or CR LF must end.
bool TakeField(const std::string& text, const std::string& name, size_t* offset, std::string* value) {
    const size_t end = text.find('\n', *offset);
    if (end == std::string::npos || text.compare(*offset, name.size() + 1, name + " ") != 0)
        return false;
    const size_t start = *offset + name.size() + 1;
    const size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
    *value = text.substr(start, stop - start);
    *offset = end + 1;
    return true;
}

}  // namespace

bool ParseSignatureFile(const std::string& text, std::string* signature, uint64_t* sequence) {
    size_t offset = 0;
    std::string sequenceText;
    std::string signatureText;
    return TakeField(text, "sequence", &offset, &sequenceText) &&
           TakeField(text, "signature", &offset, &signatureText) && offset == text.size() &&
           ParseSequence(sequenceText, sequence) && DecodeBase64(signatureText, signature) &&
           signature->size() == kSignatureBytes;
}

std::string FormatSignatureFile(uint64_t sequence, const std::string& signature) {
    return "sequence " + std::to_string(sequence) + "\nsignature " + EncodeBase64(signature) + "\n";
}
