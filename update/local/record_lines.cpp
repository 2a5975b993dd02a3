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
