// What a run knows of the listed files' digests before it reads a byte of them: the record of the
// runs before, trusted for a file whose length and times have not moved, and what this run learns
// for the next one. Everything is by entry index, up to the first refused entry.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "update/list/manifest.h"
#include "update/local/digest_record.h"
#include "update/local/local_file.h"
#include "update/run/update_operations.h"

struct KnownDigests {
    bool kept = false;       // the operations can read and write a record
    bool fullCheck = true;   // every file is read, whatever the record says
    uint64_t startedAt = 0;  // the run's start, the time of a full check it completes
    DigestRecord record;     // as the last run left it; empty when none could be read
    std::vector<ListedFile> listed;  // what the listings showed, before anything was read
    // The recorded digest that still stands for an entry's file, or null: read-only once
    // prepared, so any thread may look.
    std::vector<const RecordedDigest*> trusted;
    // By entry: its place among the files to read ahead (neither trusted nor surely absent), or
    // kNotRead.
    std::vector<size_t> readPosition;
    // What this run learned, by listed path; the entries it looked at, learned or not.
    std::map<std::string, RecordedDigest> learned;
    std::vector<bool> examined;
};

// Reads the record and the listings of the folders of `paths` (the entries' local paths, up to the
// first refused one). A missing or damaged record, or one whose last full check is 7 days old,
// makes this run a full check.
void PrepareKnownDigests(const UpdateOperations& operations,
                         const std::vector<FileListEntry>& entries,
                         const std::vector<std::wstring>& paths,
                         KnownDigests* known);

constexpr size_t kNotRead = static_cast<size_t>(-1);

// The paths of the files to read ahead, in list order: those the record does not stand for and
// the listing showed.
std::vector<std::wstring> PathsToRead(const KnownDigests& known, const std::vector<std::wstring>& paths);

inline bool IsTrusted(const KnownDigests& known, size_t index) {
    return index < known.trusted.size() && known.trusted[index] != nullptr;
}

inline bool IsReadAhead(const KnownDigests& known, size_t index) {
    return known.readPosition[index] != kNotRead;
}

// The recorded digest of a trusted entry's file.
FileDigest RecordedDigestOf(const KnownDigests& known, size_t index);

// Reads the file's digest, noting when reading began. Safe on any thread.
FileDigest ReadDigest(const UpdateOperations& operations, const std::wstring& localPath, const std::atomic<bool>& stop);

// The run looked at an entry's file and found `local`: a digest read in full is recorded with the
// state the listing showed before it was read, a recorded one carried on.
void NoteExamined(KnownDigests* known, const std::vector<FileListEntry>& entries, size_t index, const FileDigest& local);

// The run put an entry's file in place, its bytes hashed as they arrived: it is recorded with its
// times now, after the rename.
void NoteInstalled(KnownDigests* known,
                   const UpdateOperations& operations,
                   const std::vector<FileListEntry>& entries,
                   size_t index,
                   const std::wstring& localPath);

// Writes what the next run may trust, when it differs from the record read: what this run learned,
// and the record's entries for listed files it did not reach. A full check counts once the run is
// complete.
void KeepKnownDigests(const KnownDigests& known,
                      const UpdateOperations& operations,
                      const std::vector<FileListEntry>& entries,
                      bool complete);
