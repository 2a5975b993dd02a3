// How a transfer ended, and what that means for the file it was writing: the decisions behind a
// download, apart from the WinInet and file calls that carry them out.
#pragma once

#include <cstdint>

#include "update/local/download_outcome.h"

// What the reading side has seen of one transfer so far.
enum class ReadState {
    kAsking,       // no answer yet
    kBody,         // a usable answer: its body is coming
    kRefused,      // ended: an answer we cannot use (a 4xx, a redirect not followed)
    kUnreachable,  // ended: no connection, or a 5xx; may pass
    kBodyEnded,    // ended: the last read brought the body's end
    kBodyCut,      // ended: a read failed; what it still brought is kept
};
bool HasEnded(ReadState state);
bool HasAnswered(ReadState state);

enum class BodyEnd {
    kFailed,     // an answer we cannot use, or the sink said no
    kBroken,     // a passing fault: no connection, a 5xx, a body cut short or coming too slowly
    kWhole,      // all of the body arrived: its announced length, or the end a body without one has
    kUnsure,     // a body without a length ended with a failed read: whole or cut, only a digest tells
    kCancelled,  // the transfer was told to stop before the body ended
};

// The end of a transfer whose reading has ended in `state`, after `received` bytes of a body
// that announced `announcedLength` (-1: none).
BodyEnd JudgeBodyEnd(ReadState state, int64_t announcedLength, uint64_t received);

// A usable answer's status: 200, a 206 when part of a file was asked for, a 304 when the request
// named a version it may still have.
bool IsUsableAnswer(unsigned long status, bool rangeAsked, bool conditional = false);

enum class RangeAnswer {
    kWholeFile,   // the file from its first byte: whatever was kept before is overwritten
    kRest,        // the rest from the very byte asked for: appended to what was kept
    kWrongRange,  // a 206 from another byte: it would splice the file wrongly
};
// What an answer brings for a download that asked for the rest from `askedFirstByte` (0: the
// whole file), given its status and a 206's first byte (-1 when it named none).
RangeAnswer JudgeRangeAnswer(uint64_t askedFirstByte, unsigned long status, int64_t rangeStart);

// From this length on, a download's record is written before its body: fetching less again costs
// less than the record. A file this long keeps its part also when the run gives it up.
constexpr int64_t kRecordedFromBytes = 4 << 20;

// What a download knew when its transfer ended.
struct FileEndFacts {
    BodyEnd end = BodyEnd::kFailed;
    bool answered = false;       // a usable answer came and the file was opened for it
    bool lengthKnown = false;    // the whole file's length is known
    bool closed = false;         // the temporary file was closed without an error
    bool digestMatches = false;  // every byte was hashed and the MD5 is the listed one
    bool appended = false;       // the body went on from a part kept before
    bool wrongRange = false;     // a 206 from another byte than asked
    // kStored unless the storing side stopped the transfer: kNoRoom, kInUse or kCannotWrite.
    DownloadOutcome localEnd = DownloadOutcome::kStored;
    uint64_t written = 0;        // bytes in the temporary file
    bool hasValidator = false;   // the answer named its version
    bool stopRequested = false;  // CANCEL, or the run no longer needs the file
};

enum class FileEndAction {
    kKeepFetched,  // the temporary file is the listed file: it may go in place
    kFetchWhole,   // try again at once from the first byte, the part dropped
    kKeepAsItWas,  // nothing was written: a part kept from before is as its record says
    kKeepPart,     // keep what arrived, with a record of its version, for the next try
    kDropPart,     // delete the temporary file and its record
};
struct FileEnd {
    FileEndAction action;
    DownloadOutcome outcome;  // what the download reports, unless the action is kFetchWhole
};
// A whole file is kept only with its digest; a resumed one that came out wrong, or a 206 from
// elsewhere, is fetched whole once more; a file cut by a passing fault or by a stop keeps what
// arrived when it has a length and a validator, so the next try asks only for the rest.
FileEnd DecideFileEnd(const FileEndFacts& facts);

// Why a run ended before its last entry.
enum class EarlyEnd {
    kFailure,  // an entry failed
    kCancel,   // the player pressed CANCEL
    kNoRoom,   // an entry found no room on the disk
};

// Whether a file fetched ahead of its turn is deleted when the run ends before installing it: a
// whole one always (it cannot be resumed, only fetched again); after CANCEL a part stays, as for
// the file under way; after a failure only a part of a file of kRecordedFromBytes or more, whose
// record lets the next run go on; when the disk is full, none, for room is what the player lacks.
// `length` is the whole file's (-1: no answer named one, so a part kept from before is as its
// record says).
bool DropsUnhandledFetch(DownloadOutcome outcome, EarlyEnd end, int64_t length);
