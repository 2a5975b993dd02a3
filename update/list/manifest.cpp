#include "update/list/manifest.h"

#include <cstring>

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkLength = 3;

// Calls visit(start, length, bar) for each non-empty line of `text` from `begin`, its one
// closing carriage return left out; `bar` is the line's first '|', or npos. Every byte is looked
// at once, so a long answer without any bar costs no more than one with a bar on every line.
template <typename Visit>
void ForEachLine(const std::string& text, size_t begin, Visit visit) {
    const char* data = text.data();
    size_t start = begin;
    while (start < text.size()) {
        const void* feed = std::memchr(data + start, '\n', text.size() - start);
        const size_t end = feed ? static_cast<size_t>(static_cast<const char*>(feed) - data) : text.size();
        size_t length = end - start;
        // One carriage return before the line feed (or at the very end) belongs to the line end.
        if (length > 0 && data[start + length - 1] == '\r')
            --length;
        if (length > 0) {
            const void* bar = std::memchr(data + start, '|', length);
            visit(start, length, bar ? static_cast<size_t>(static_cast<const char*>(bar) - data) : std::string::npos);
        }
        start = end + 1;
    }
}

}  // namespace

std::vector<FileListEntry> ParseFileList(const std::string& text) {
    // An editor's UTF-8 byte-order mark is no part of the first path.
    const size_t begin = text.compare(0, kByteOrderMarkLength, kByteOrderMark) == 0 ? kByteOrderMarkLength : 0;
    // Counted first, so the entries take their room once instead of doubling it as they grow.
    size_t count = 0;
    ForEachLine(text, begin, [&count](size_t, size_t, size_t bar) { count += bar != std::string::npos; });
    std::vector<FileListEntry> entries;
    entries.reserve(count);
    ForEachLine(text, begin, [&](size_t start, size_t length, size_t bar) {
        if (bar != std::string::npos)
            entries.push_back({text.substr(start, bar - start), text.substr(bar + 1, start + length - bar - 1)});
    });
    return entries;
}
