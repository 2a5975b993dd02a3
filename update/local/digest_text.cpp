#include "update/local/digest_text.h"

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
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < computed.size(); ++i) {
        if (lower(computed[i]) != lower(listed[i]))
            return false;
    }
    return true;
}

bool IsMd5Text(const std::string& text) {
    if (text.size() != 32)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}
