// The copy of the last update list a run used, kept so that the next start can ask the server
// whether it changed (If-None-Match, If-Modified-Since) and, on a 304, read it from disk instead;
// and the highest signed sequence number accepted, which a signed build never goes below.
#pragma once

#include <cstdint>
#include <string>

// The files in a kept-list folder. Each is written beside its final name (WriteBeside) and renamed
// over it; the record goes last. The sequence lives in a file of
// its own, so that deleting a damaged list with its record never resets it.
constexpr wchar_t kKeptListFileName[] = L"filelist.txt";
constexpr wchar_t kKeptSignatureFileName[] = L"filelist.txt.sig";
constexpr wchar_t kKeptRecordFileName[] = L"filelist.kept";
constexpr wchar_t kAcceptedSequenceFileName[] = L"sequence.txt";

// 16 lower-case hex digits: FNV-1a (64-bit) over the UTF-16LE bytes of the folder's PathKey
// (entry_paths.h) without a trailing separator, so that every spelling Windows takes for one
// folder ("C:\Games\L2", "c:/games/l2\") gives one name. A character above U+FFFF counts as its
// surrogate pair, whatever the width of wchar_t.
std::wstring KeptListFolderName(const std::wstring& launcherFolder);

// The list kept from the run before, with what it takes to ask whether it is still the server's.
struct KeptList {
    std::string root;           // the root it came from
    std::string validator;      // its strong ETag as sent, or its Last-Modified date
    std::string text;           // the list's bytes
    std::string signatureFile;  // its signature file's bytes; "" in a build that takes lists unsigned
};

// What the record beside a kept list holds.
struct KeptRecord {
    std::string root;          // "https://" and what follows, without blanks: the root as the run asked it
    std::string validator;     // a strong ETag as sent (quotes included), or a Last-Modified date
    std::string listMd5;       // of the list's bytes: 32 lower-case hex digits
    std::string signatureMd5;  // of the signature file's bytes; "" in an unsigned build
};

// Lines ended by LF, in this order:
//   root <root>
//   validator <validator>
//   list <md5>
//   signature <md5>          (only when there is a signature)
// The root and validator hold no control characters, and neither starts or ends with a space;
// the root holds no space, no '/' after "https://" and no byte above 0x7E; a validator is never
// weak ("W/..."). FormatKeptRecord gives "" for a record that ParseKeptRecord would refuse, and
// ParseKeptRecord refuses anything but this form, leaving `record` as it was.
std::string FormatKeptRecord(const KeptRecord& record);
bool ParseKeptRecord(const std::string& text, KeptRecord* record);

// "sequence <decimal>" and LF; the parse takes only that, without leading zeros or a value past
// 64 bits.
std::string FormatAcceptedSequence(uint64_t sequence);
bool ParseAcceptedSequence(const std::string& text, uint64_t* sequence);
