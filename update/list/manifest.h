// The update manifest "filelist.txt": one "path|md5" line per file the server offers.
#pragma once

#include <string>
#include <vector>

struct FileListEntry {
    std::string path;  // below the launcher folder, forward slashes, bytes as the line holds them
    std::string md5;   // expected digest, bytes as the line holds them
};

// Splits the manifest into entries in line order. Never fails: lines without a '|' are dropped,
// and a UTF-8 byte-order mark at the very start is skipped. Linear in the length of the text.
std::vector<FileListEntry> ParseFileList(const std::string& text);
