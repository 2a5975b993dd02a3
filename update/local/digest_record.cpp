#include "update/local/digest_record.h"

#include <algorithm>
#include <vector>

#include "update/local/digest_text.h"
#include "update/local/record_lines.h"

namespace {

const char kFormatLine[] = "vardenhal-digests 1\n";
const char kFullCheckKey[] = "full-check ";
const char kCheckKey[] = "check ";
constexpr size_t kCheckDigits = 16;

uint64_t Fnv1a64(const std::string& bytes, size_t count) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < count; ++i) {
        hash ^= static_cast<unsigned char>(bytes[i]);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Hex16(uint64_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(kCheckDigits, '0');
    for (size_t i = kCheckDigits; i-- > 0; value >>= 4)
        text[i] = kDigits[value & 0xF];
    return text;
}

// The next field of a file line, up to a single space; false at the line's end or an empty field.
bool NextField(const std::string& line, size_t* offset, std::string* field) {
    const size_t space = line.find(' ', *offset);
    if (space == std::string::npos || space == *offset)
        return false;
    *field = line.substr(*offset, space - *offset);
    *offset = space + 1;
    return true;
}

bool IsRecordablePath(const std::string& path) {
    return !path.empty() && path.front() != ' ' && IsPlainText(path);
}

bool ParseFileLine(const std::string& line, std::string* path, RecordedDigest* recorded) {
    size_t offset = 0;
    std::string field;
    if (!NextField(line, &offset, &recorded->md5) || !IsMd5Text(recorded->md5))
        return false;
    for (uint64_t* value : {&recorded->state.length, &recorded->state.lastWrite, &recorded->state.creation,
                            &recorded->readAt}) {
        if (!NextField(line, &offset, &field) || !ParseDecimal(field, value))
            return false;
    }
    *path = line.substr(offset);
    return IsRecordablePath(*path);
}

}  // namespace

bool operator==(const FileState& a, const FileState& b) {
    return a.length == b.length && a.lastWrite == b.lastWrite && a.creation == b.creation;
}

bool operator==(const RecordedDigest& a, const RecordedDigest& b) {
    return a.state == b.state && a.md5 == b.md5 && a.readAt == b.readAt;
}

bool operator==(const DigestRecord& a, const DigestRecord& b) {
    return a.lastFullCheck == b.lastFullCheck && a.files == b.files;
}

bool TrustsRecordedDigest(const RecordedDigest& recorded, const FileState& now) {
    // Written as a sum would wrap for a last-write time near the end of the range.
    return recorded.state == now && recorded.readAt >= kUnsettledTicks &&
           now.lastWrite <= recorded.readAt - kUnsettledTicks;
}

bool IsFullCheckDue(uint64_t lastFullCheck, uint64_t now) {
    return lastFullCheck == 0 || now < lastFullCheck || now - lastFullCheck >= kFullCheckEveryTicks;
}

std::string FormatDigestRecord(const DigestRecord& record) {
    std::string text = kFormatLine;
    text += kFullCheckKey + std::to_string(record.lastFullCheck) + "\n";
    for (const auto& file : record.files) {
        const RecordedDigest& recorded = file.second;
        if (!IsRecordablePath(file.first) || !IsMd5Text(recorded.md5))
            continue;
        text += recorded.md5 + " " + std::to_string(recorded.state.length) + " " +
                std::to_string(recorded.state.lastWrite) + " " + std::to_string(recorded.state.creation) + " " +
                std::to_string(recorded.readAt) + " " + file.first + "\n";
    }
    text += kCheckKey + Hex16(Fnv1a64(text, text.size())) + "\n";
    return text;
}

bool ParseDigestRecord(const std::string& text, size_t listedEntries, DigestRecord* record) {
    const size_t checkLength = sizeof(kCheckKey) - 1 + kCheckDigits + 1;
    if (text.size() > kMostRecordBytesPerEntry * std::max<size_t>(listedEntries, 1) || text.size() < checkLength ||
        text.compare(0, sizeof(kFormatLine) - 1, kFormatLine) != 0)
        return false;
    // The check line is the last, and covers every byte before it.
    const size_t checkAt = text.size() - checkLength;
    size_t offset = checkAt;
    std::string check;
    if ((checkAt > 0 && text[checkAt - 1] != '\n') || !ReadRecordLine(text, kCheckKey, &offset, &check) ||
        check != Hex16(Fnv1a64(text, checkAt)))
        return false;
    DigestRecord read;
    offset = sizeof(kFormatLine) - 1;
    std::string line;
    if (!ReadRecordLine(text, kFullCheckKey, &offset, &line) || !ParseDecimal(line, &read.lastFullCheck))
        return false;
    while (offset < checkAt) {
        const size_t end = text.find('\n', offset);
        std::string path;
        RecordedDigest recorded;
        if (!ParseFileLine(text.substr(offset, end - offset), &path, &recorded) ||
            !read.files.emplace(std::move(path), std::move(recorded)).second)
            return false;
        offset = end + 1;
    }
    *record = std::move(read);
    return true;
}
