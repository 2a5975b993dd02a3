#include "update/list/kept_list.h"

#include "update/local/digest_text.h"
#include "update/local/entry_paths.h"
#include "update/local/record_lines.h"

namespace {

const char kRootKey[] = "root ";
const char kValidatorKey[] = "validator ";
const char kListKey[] = "list ";
const char kSignatureKey[] = "signature ";
const char kSequenceKey[] = "sequence ";
const char kHttpsPrefix[] = "https://";

void HashUnit(uint64_t* hash, uint32_t unit) {
    for (const uint32_t byte : {unit & 0xFF, unit >> 8}) {
        *hash ^= byte;
        *hash *= 0x100000001b3ull;
    }
}

bool IsValueText(const std::string& text) {
    return !text.empty() && text.front() != ' ' && text.back() != ' ' && IsPlainText(text);
}

bool IsRoot(const std::string& root) {
    const size_t prefix = sizeof(kHttpsPrefix) - 1;
    if (root.size() <= prefix || root.compare(0, prefix, kHttpsPrefix) != 0)
        return false;
    for (size_t i = prefix; i < root.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(root[i]);
        if (c <= ' ' || c > 0x7E)
            return false;
    }
    return true;
}

}  // namespace

std::wstring KeptListFolderName(const std::wstring& launcherFolder) {
    std::wstring key = PathKey(launcherFolder);
    // A drive's root keeps its backslash: "c:" alone names the drive's current folder.
    if (key.size() > 3 && key.back() == L'\\')
        key.pop_back();
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const wchar_t c : key) {
        const uint32_t point = static_cast<uint32_t>(c);
        if (point > 0xFFFF) {
            HashUnit(&hash, 0xD800 + ((point - 0x10000) >> 10));
            HashUnit(&hash, 0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            HashUnit(&hash, point);
        }
    }
    static const char kDigits[] = "0123456789abcdef";
    std::wstring name(16, L'0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        name[i] = static_cast<wchar_t>(kDigits[hash & 0xF]);
    return name;
}

std::string FormatKeptRecord(const KeptRecord& record) {
    std::string text =
        kRootKey + record.root + "\n" + kValidatorKey + record.validator + "\n" + kListKey + record.listMd5 + "\n";
    if (!record.signatureMd5.empty())
        text += kSignatureKey + record.signatureMd5 + "\n";
    KeptRecord check;
    return ParseKeptRecord(text, &check) ? text : std::string();
}

bool ParseKeptRecord(const std::string& text, KeptRecord* record) {
    size_t offset = 0;
    KeptRecord read;
    if (!ReadRecordLine(text, kRootKey, &offset, &read.root) || !IsRoot(read.root) ||
        !ReadRecordLine(text, kValidatorKey, &offset, &read.validator) || !IsValueText(read.validator) ||
        read.validator.compare(0, 2, "W/") == 0 || !ReadRecordLine(text, kListKey, &offset, &read.listMd5) ||
        !IsMd5Text(read.listMd5))
        return false;
    if (offset != text.size() &&
        (!ReadRecordLine(text, kSignatureKey, &offset, &read.signatureMd5) || !IsMd5Text(read.signatureMd5)))
        return false;
    if (offset != text.size())
        return false;
    *record = read;
    return true;
}

std::string FormatAcceptedSequence(uint64_t sequence) {
    return kSequenceKey + std::to_string(sequence) + "\n";
}

bool ParseAcceptedSequence(const std::string& text, uint64_t* sequence) {
    size_t offset = 0;
    std::string digits;
    return ReadRecordLine(text, kSequenceKey, &offset, &digits) && offset == text.size() &&
           ParseDecimal(digits, sequence);
}
