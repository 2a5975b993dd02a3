#include "update/resume_record.h"

#include "update/http_response.h"

namespace {

const char kValidatorKey[] = "validator ";
const char kBytesKey[] = "bytes ";

bool IsPlainText(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

// The rest of a line that starts with `key`, from `*offset`; moves past its LF.
bool ReadLine(const std::string& text, const std::string& key, size_t* offset, std::string* value) {
    const size_t end = text.find('\n', *offset);
    if (end == std::string::npos || text.compare(*offset, key.size(), key) != 0)
        return false;
    *value = text.substr(*offset + key.size(), end - *offset - key.size());
    *offset = end + 1;
    return true;
}

}  // namespace

std::string FormatResumeRecord(const ResumeRecord& record) {
    std::string text = kValidatorKey + record.validator + "\n";
    if (record.bytes > 0)
        text += kBytesKey + std::to_string(record.bytes) + "\n";
    return text;
}

bool ParseResumeRecord(const std::string& text, ResumeRecord* record) {
    size_t offset = 0;
    std::string validator;
    std::string bytes;
    if (!ReadLine(text, kValidatorKey, &offset, &validator) || validator.empty() || !IsPlainText(validator))
        return false;
    int64_t count = 0;
    if (offset != text.size()) {
        if (!ReadLine(text, kBytesKey, &offset, &bytes) || offset != text.size() || bytes.empty() || bytes[0] == ' ')
            return false;
        count = ParseContentLength(bytes);
        if (count <= 0)
            return false;
    }
    record->validator = validator;
    record->bytes = static_cast<uint64_t>(count);
    return true;
}

std::string ChooseValidator(const std::string& etag, const std::string& lastModified) {
    const std::string chosen = (!etag.empty() && etag.compare(0, 2, "W/") != 0) ? etag : lastModified;
    return IsPlainText(chosen) ? chosen : std::string();
}
