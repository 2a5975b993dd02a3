#include "update/manifest.h"

std::vector<FileListEntry> ParseFileList(const std::string& text) {
    std::vector<FileListEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t length = end - start;
        // One carriage return before the line feed (or at the very end) belongs to the line end.
        if (length > 0 && text[start + length - 1] == '\r')
            --length;
        const size_t bar = text.find('|', start);
        if (length > 0 && bar != std::string::npos && bar < start + length) {
            entries.push_back({text.substr(start, bar - start), text.substr(bar + 1, start + length - bar - 1)});
        }
        start = end + 1;
    }
    return entries;
}
