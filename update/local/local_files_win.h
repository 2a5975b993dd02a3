// The small files and folders the updater makes itself: beside the game's files (a download's
// record) and in its own folder (the kept list).
#pragma once

#include <cstdint>
#include <string>

bool FolderExists(const std::wstring& folder);

// The length of the file at `path`, asked without opening it; 0 when there is none (a folder
// counts as none).
uint64_t FileLengthAt(const std::wstring& path);

// Makes `folder` and every missing folder above it, outermost first; whether it is a folder now.
// One that is there already costs one look: most are.
bool MakeFolders(const std::wstring& folder);

// The whole of a file of at most `most` bytes; false for a larger one, one that cannot be read,
// or no memory for it.
bool ReadFileUpTo(const std::wstring& path, uint64_t most, std::string* bytes);

// `bytes` as the whole of the file at `path` (made, or emptied first), flushed to the disk when
// `flush`; false when a write or the close failed.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, bool flush = false);

// A file replaced whole is written beside its name, with this added, then renamed over it.
constexpr wchar_t kBesideSuffix[] = L".new";
// Writes `bytes` beside `path` and flushes them, so that a rename over the old file never exposes a
// half-written one; false (and nothing left beside) on failure.
bool WriteBeside(const std::wstring& path, const std::string& bytes);
// Renames what WriteBeside wrote over `path`.
bool RenameBeside(const std::wstring& path);
