#include "update/local/record_lines.h"

bool ReadRecordLine(const std::string& text, const std::string& key, size_t* offset, std::string* value) {
    const size_t end = text.find('\n', *offset);
    if (end == std::string::npos || text.compare(*offset, key.size(), key) != 0)
        return false;
    *value = text.substr(*offset + key.size(), end - *offset - key.size());
    *offset = end + 1;
    return true;
}

bool IsPlainText(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

bool ParseDecimal(const std::string& digits, uint64_t* value) {
    if (digits.empty() || (digits[0] == '0' && digits.size() > 1))
        return false;
    uint64_t parsed = 0;
    for (const char c : digits) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (c < '0' || c > '9' || parsed > (UINT64_MAX - digit) / 10)
            return false;
        parsed = parsed * 10 + digit;
    }
    *value = parsed;
    return true;
}
