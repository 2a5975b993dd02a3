// The digest record on disk, and the lengths and times of the game's files as their folders'
// listings show them: what lets a start find an unchanged file up to date without opening it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/local/digest_record.h"

// The record in `folder` (the kept list's folder); false when there is none, or it is damaged, of
// another format or too large for `listedEntries`.
bool ReadDigestRecord(const std::wstring& folder, size_t listedEntries, DigestRecord* record);

// Written beside the old one and renamed over it; false on any failure, the old one left as it was.
bool WriteDigestRecord(const std::wstring& folder, const DigestRecord& record);

// One listing of each folder the paths name, not one open per file. A path is found only as a
// plain file: a folder, or a link whose own times say nothing of its target, is not.
std::vector<ListedFile> ListFileStates(const std::vector<std::wstring>& paths);

// The same for one file, without opening it.
bool ReadFileState(const std::wstring& path, FileState* state);

uint64_t FileTimeNow();
