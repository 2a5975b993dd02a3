// The kept update list on disk: its folder under %LOCALAPPDATA%, never in the game folder (which
// the list itself rewrites), and the files in it (kept_list.h names them).
#pragma once

#include <cstdint>
#include <string>

#include "update/list/kept_list.h"

// %LOCALAPPDATA%\VardenhalUpdater\<KeptListFolderName>, made by nobody yet; "" when the system
// has no local application data folder.
std::wstring KeptListFolder(const std::wstring& launcherFolder);

// True only when the record reads well and the list (and the signature file, when the record
// names one) have the MD5s it records. Anything missing, damaged or over 64 MiB deletes the kept
// set and gives false.
bool ReadKeptList(const std::wstring& folder, KeptList* list);

// Makes the folders as needed, writes every file beside its final name and renames them over the
// old ones, the record last: a set cut short midway reads as damaged. False on any failure, when
// no half-written file is left under a final name. An unsigned list deletes the old signature.
bool WriteKeptList(const std::wstring& folder, const KeptList& list);

// The list, its signature and its record (and what a cut-short write left beside them); never
// the accepted sequence.
void DeleteKeptList(const std::wstring& folder);

// The highest signed sequence accepted, 0 when none was kept or it cannot be read; written beside
// and renamed over the old one. Whether a sequence may replace the kept one is the caller's call.
uint64_t ReadAcceptedSequence(const std::wstring& folder);
bool WriteAcceptedSequence(const std::wstring& folder, uint64_t sequence);
