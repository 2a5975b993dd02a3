#include "tools/filelist/manifest_rules.h"

#include <algorithm>
#include <map>

#include "update/local/entry_paths.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const size_t kByteOrderMarkLength = 3;
const size_t kDigestLength = 32;
const char kNeverMatches[] = "; the launcher downloads this file on every run";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool HasSurroundingBlanks(const std::string& text) {
    return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

std::string TrimBlanks(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string DescribeMalformedDigest(const std::string& md5) {
    if (md5.empty())
        return "empty digest";
    if (md5.size() != kDigestLength)
        return "digest has " + std::to_string(md5.size()) + (md5.size() == 1 ? " character" : " characters") +
               ", not 32";
    if (md5.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
        return "digest in upper case";
    return "digest holds characters other than 0-9 and a-f";
}

void AddFinding(ManifestLint* lint, size_t lineNumber, const std::string& path, const std::string& message) {
    lint->findings.push_back({lineNumber, path, message});
}

}  // namespace

std::string FoldLetterCase(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string EscapeForDisplay(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            shown += "\\x";
            shown += kDigits[byte >> 4];
            shown += kDigits[byte & 0x0F];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string DescribeRefusedPath(const std::string& path) {
    if (path.empty())
        return "empty path";
    for (char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "holds a control character";
        if (byte > 0x7F)
            return "holds a byte above 0x7F; the launcher widens names byte by byte and would store it under a "
                   "mangled name";
        if (c == '|')
            return "holds '|', which ends the path in a manifest line";
        if (c == '\\')
            return "holds a backslash; the download address keeps it and the server has no such file";
        if (c == '<' || c == '>' || c == '"' || c == '?' || c == '*')
            return "holds a character Windows does not allow in file names";
    }
    if (!IsEntryPathAllowed(path))
        return "the launcher refuses it: a leading '/', a ':', a '..' folder or a device name such as CON, NUL, "
               "COM1 or LPT1";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment.empty() || segment == ".")
            return "an empty or '.' folder name";
        // Windows drops them when it opens the file, so the launcher would look at another name.
        if (segment.back() == ' ' || segment.back() == '.')
            return "a name ending in a space or a dot, which Windows drops";
        start = end + 1;
    }
    return std::string();
}

bool IsWellFormedDigest(const std::string& md5) {
    return md5.size() == kDigestLength && md5.find_first_not_of("0123456789abcdef") == std::string::npos;
}

ManifestLint LintManifest(const std::string& text) {
    ManifestLint lint;
    const bool hasByteOrderMark = text.compare(0, kByteOrderMarkLength, kByteOrderMark) == 0;
    if (hasByteOrderMark)
        AddFinding(&lint, 1, "",
                   "starts with a byte-order mark; the launcher skips it, launchers built before it read it "
                   "as part of the first path");

    // Paths folded to letter case -> the line that listed them first.
    std::map<std::string, size_t> firstLineOfPath;
    size_t start = 0;
    for (size_t lineNumber = 1; start < text.size(); ++lineNumber) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;

        // The parser drops one carriage return at the end of a line; any other one stays inside it.
        const size_t lastByte = line.empty() ? 0 : line.size() - 1;
        const size_t loneReturn = line.find('\r');
        if (loneReturn != std::string::npos && loneReturn != lastByte)
            AddFinding(&lint, lineNumber, "",
                       "carriage return without a line feed; the launcher reads what follows as part of this line");

        // The parser skips a byte-order mark only at the very start of the text; a later line is
        // read as the launcher reads it, after a line feed.
        const std::vector<FileListEntry> parsed = ParseFileList(lineNumber == 1 ? line : "\n" + line);
        if (parsed.empty()) {
            if (!line.empty() && line != "\r")
                AddFinding(&lint, lineNumber, "", "line without a '|' separator; the launcher skips it");
            continue;
        }
        FileListEntry entry = parsed.front();

        if (HasSurroundingBlanks(entry.path)) {
            AddFinding(&lint, lineNumber, entry.path, "spaces around the path; they become part of the file name");
            entry.path = TrimBlanks(entry.path);
        }
        if (HasSurroundingBlanks(entry.md5)) {
            AddFinding(&lint, lineNumber, entry.path,
                       std::string("spaces around the digest; they become part of it") + kNeverMatches);
            entry.md5 = TrimBlanks(entry.md5);
        }
        if (!IsWellFormedDigest(entry.md5))
            AddFinding(&lint, lineNumber, entry.path,
                       DescribeMalformedDigest(entry.md5) + " (32 lower-case hex digits needed)" + kNeverMatches);

        const std::string refusal = DescribeRefusedPath(entry.path);
        if (!refusal.empty())
            AddFinding(&lint, lineNumber, entry.path, "refused path: " + refusal);

        const auto inserted = firstLineOfPath.emplace(FoldLetterCase(entry.path), lineNumber);
        if (!inserted.second) {
            const ListedEntry* first = nullptr;
            for (const ListedEntry& listed : lint.entries) {
                if (listed.lineNumber == inserted.first->second)
                    first = &listed;
            }
            const std::string firstLine = std::to_string(inserted.first->second);
            if (first != nullptr && first->entry.path == entry.path)
                AddFinding(&lint, lineNumber, entry.path, "listed again (first on line " + firstLine + ")");
            else
                AddFinding(&lint, lineNumber, entry.path,
                           "same file on Windows as line " + firstLine + " (the paths differ only in letter case)");
        }
        lint.entries.push_back({lineNumber, entry});
    }
    return lint;
}

std::string FormatManifest(std::vector<FileListEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const FileListEntry& a, const FileListEntry& b) { return a.path < b.path; });
    std::string text;
    for (const FileListEntry& entry : entries)
        text += entry.path + "|" + entry.md5 + "\n";
    return text;
}
