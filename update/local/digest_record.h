// The digests the last runs read of a game folder's listed files, each with the length and times
// the file had then: a file whose length and times have not moved since is not read again. Kept
// beside the kept update list, one record per game folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

constexpr wchar_t kDigestRecordFileName[] = L"digests.txt";

// Times are FILETIME values: 100 ns ticks since 1601.
constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
// A file written less than this before its bytes were read may have been written again within the
// same tick of its last-write time (2 s on FAT volumes), which its times would not show.
constexpr uint64_t kUnsettledTicks = 2 * kFileTimeTicksPerSecond;
// Every listed file is read, whatever the record says, at the first start this long after the last
// time they all were: the net under a change that put a file's length and times back.
constexpr uint64_t kFullCheckEveryTicks = 7ull * 24 * 3600 * kFileTimeTicksPerSecond;
// A record larger than this for each entry of the list is not one we wrote.
constexpr size_t kMostRecordBytesPerEntry = 256;

// What a listing tells of a file without opening it.
struct FileState {
    uint64_t length = 0;
    uint64_t lastWrite = 0;
    uint64_t creation = 0;
};
bool operator==(const FileState& a, const FileState& b);

// A path as its folder's listing shows it: found as a plain file with its state, or surely absent
// (its folder's listing ended without the name, or there is no such folder). Neither when it is
// something else (a folder, a link) or the folder could not be listed.
struct ListedFile {
    bool found = false;
    bool absent = false;
    FileState state;
};

// A digest with the state the file had when its bytes were read, and when that was.
struct RecordedDigest {
    FileState state;
    std::string md5;      // 32 lower-case hex digits
    uint64_t readAt = 0;  // no later than the first byte was read
};
bool operator==(const RecordedDigest& a, const RecordedDigest& b);

struct DigestRecord {
    uint64_t lastFullCheck = 0;                   // 0: none yet
    std::map<std::string, RecordedDigest> files;  // by the path as the list writes it
};
bool operator==(const DigestRecord& a, const DigestRecord& b);

// Whether the recorded digest may stand for the file's bytes without reading them: the length and
// both times are those recorded, and the last write came well before the bytes were read.
bool TrustsRecordedDigest(const RecordedDigest& recorded, const FileState& now);

// Whether a start at `now` reads every file: never checked whole, 7 days since, or a clock that
// went back past the last full check.
bool IsFullCheckDue(uint64_t lastFullCheck, uint64_t now);

// Lines ended by LF:
//   vardenhal-digests 1
//   full-check <decimal>
//   <md5> <length> <last write> <creation> <read at> <path>     (one per file, paths in order)
//   check <16 lower-case hex digits: FNV-1a 64 of every byte before this line>
// Decimals have no leading zeros; a path holds no control character and does not start with a
// space; FormatDigestRecord leaves out a file whose path or digest is not so. ParseDigestRecord refuses anything else, a repeated path, and a text longer than
// kMostRecordBytesPerEntry for each of `listedEntries` (at least one), leaving `record` as it was.
std::string FormatDigestRecord(const DigestRecord& record);
bool ParseDigestRecord(const std::string& text, size_t listedEntries, DigestRecord* record);
