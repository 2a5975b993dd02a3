// What makes a manifest line trouble for the launcher, and how a clean manifest is written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "update/list/manifest.h"

// One problem a launcher would meet. lineNumber counts from 1; 0 means the problem belongs to no
// line (a file in the served folder that the manifest does not list, say).
struct ManifestFinding {
    size_t lineNumber = 0;
    std::string path;
    std::string message;
};

// An entry as the launcher parses it, with the line it came from.
struct ListedEntry {
    size_t lineNumber = 0;
    FileListEntry entry;
};

struct ManifestLint {
    // The parser's entries, in order, with surrounding spaces and a leading byte-order mark taken
    // off (those are findings of their own), so the folder checks look for the intended file.
    std::vector<ListedEntry> entries;
    std::vector<ManifestFinding> findings;
};

// Empty when a launcher takes `path` as the file it names; otherwise why not: it refuses it,
// mangles it (bytes above 0x7F, names Windows trims) or the server cannot serve it ('\\').
std::string DescribeRefusedPath(const std::string& path);

// True for exactly 32 lower-case hexadecimal digits, the only form a local digest can match.
bool IsWellFormedDigest(const std::string& md5);

// Every line-level problem of the manifest text: lines without a separator, digests that can
// never match, surrounding spaces, carriage returns that do not end a line, a byte-order mark,
// paths listed twice (letter case ignored, as Windows does) and paths the launcher refuses.
ManifestLint LintManifest(const std::string& text);

// The manifest for these entries: sorted by path bytes, one "path|md5" line each, LF line ends,
// no byte-order mark.
std::string FormatManifest(std::vector<FileListEntry> entries);

// ASCII letters lowered: how Windows compares two names of the same folder.
std::string FoldLetterCase(const std::string& text);

// The path with control characters and bytes above 0x7F shown as \xNN, safe for a terminal.
std::string EscapeForDisplay(const std::string& text);
