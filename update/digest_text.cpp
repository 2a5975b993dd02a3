#include "update/digest_text.h"

std::string FormatDigestHex(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

bool DigestsMatch(const std::string& computed, const std::string& listed) {
    if (computed.empty() || computed.size() != listed.size())
        return false;
    for (size_t i = 0; i < computed.size(); ++i) {
        const char a = computed[i];
        const char b = listed[i];
        if ((a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) != (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b))
            return false;
    }
    return true;
}
