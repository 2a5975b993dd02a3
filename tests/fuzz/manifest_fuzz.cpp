// libFuzzer target for the manifest parser: checks its invariants against a second, plainer
// reading of the same text (std::getline per line, then the first bar).
#include "update/list/manifest.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

void Check(bool ok) {
    if (!ok)
        abort();
}

std::vector<FileListEntry> ReferenceParse(const std::string& text) {
    std::vector<FileListEntry> entries;
    // A UTF-8 byte-order mark opening the text is not part of the first line.
    std::istringstream in(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t bar = line.find('|');
        if (bar != std::string::npos)
            entries.push_back({line.substr(0, bar), line.substr(bar + 1)});
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<FileListEntry> entries = ParseFileList(text);
    const std::vector<FileListEntry> reference = ReferenceParse(text);
    Check(entries.size() == reference.size());
    size_t position = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const FileListEntry& e = entries[i];
        Check(e.path == reference[i].path && e.md5 == reference[i].md5);
        // No separator in a path, no line feed in either field, no line-ending carriage return kept.
        Check(e.path.find('|') == std::string::npos);
        Check(e.path.find('\n') == std::string::npos && e.md5.find('\n') == std::string::npos);
        // Entries appear in the text in line order.
        const std::string piece = e.path + "|" + e.md5;
        const size_t found = text.find(piece, position);
        Check(found != std::string::npos);
        const size_t end = found + piece.size();
        Check(end == text.size() || text[end] == '\n' ||
              (text[end] == '\r' && (end + 1 == text.size() || text[end + 1] == '\n')));
        position = end;
    }
    return 0;
}
