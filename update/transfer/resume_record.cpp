#include "update/transfer/resume_record.h"

#include "update/transfer/http_response.h"
#include "update/local/record_lines.h"

namespace {

const char kValidatorKey[] = "validator ";
const char kBytesKey[] = "bytes ";

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
    if (!ReadRecordLine(text, kValidatorKey, &offset, &validator) || validator.empty() || !IsPlainText(validator))
        return false;
    int64_t count = 0;
    if (offset != text.size()) {
        if (!ReadRecordLine(text, kBytesKey, &offset, &bytes) || offset != text.size() || bytes.empty() ||
            bytes[0] == ' ')
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
