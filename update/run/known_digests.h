// What a run knows of the listed files' digests before it reads a byte of them: the record of the
// runs before, trusted for a file whose length and times have not moved, and what this run learns
// for the next one.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
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
    // Recorded digests that still stand, by the local path's PathKey: read-only once prepared, so
    // the digest threads look them up without a lock.
    std::unordered_map<std::wstring, RecordedDigest> trusted;
    // The states the listings showed, by PathKey: what a digest read now is recorded with.
    std::unordered_map<std::wstring, FileState> listed;
    // What this run learned, by listed path; the paths it looked at, learned or not.
    std::map<std::string, RecordedDigest> learned;
    std::set<std::string> examined;
};

// Reads the record and the listings of the folders of `paths` (the entries' local paths, up to the
// first refused one). A missing or damaged record, or one whose last full check is 7 days old,
// makes this run a full check.
void PrepareKnownDigests(const UpdateOperations& operations,
                         const std::vector<FileListEntry>& entries,
                         const std::vector<std::wstring>& paths,
                         KnownDigests* known);

// The file's digest: the recorded one when it still stands, else read, with the time reading began.
// Safe on any thread once prepared.
FileDigest DigestOf(const KnownDigests& known,
                    const UpdateOperations& operations,
                    const std::wstring& localPath,
                    const std::atomic<bool>& stop);

// The run looked at an entry's file and found `local` (from DigestOf): a digest read in full is
// recorded with the state the listing showed before it was read.
void NoteExamined(KnownDigests* known, const std::string& listedPath, const std::wstring& localPath, const FileDigest& local);

// The run put a file in place whose bytes had `md5` as they arrived: it is recorded with its times
// now, after the rename.
void NoteInstalled(KnownDigests* known,
                   const UpdateOperations& operations,
                   const std::string& listedPath,
                   const std::wstring& localPath,
                   const std::string& md5);

// Writes what the next run may trust, when it differs from the record read: what this run learned,
// and the record's entries for listed files it did not reach. A full check counts once the run is
// complete.
void KeepKnownDigests(const KnownDigests& known,
                      const UpdateOperations& operations,
                      const std::vector<FileListEntry>& entries,
                      bool complete);
