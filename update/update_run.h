// One update run: fetch the manifest, compare each listed file's digest with the local copy and
// download what is missing or differs, reporting every step through the given operations.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/local_file.h"

enum class DownloadOutcome {
    kStored,
    kFailedForNow,  // a fault that may pass: no connection, a 5xx, a body cut short or too slow
    kFailed,        // anything else from the server: a 4xx, a body whose digest is not the listed one
    kCancelled,     // CANCEL stopped the transfer; what arrived stays for the next run to go on from
    kNoRoom,        // the volume has not the room the file needs
    kInUse,         // another program holds the target
    kCannotWrite,   // the target is read-only, a folder stands in its place, or a parent is a file
};

// A file is tried this many times at most; before the second and third tries the run waits.
constexpr int kMostAttempts = 3;
constexpr uint32_t kRetryDelaysMs[kMostAttempts - 1] = {1000, 2000};

// What a run needs from the platform; the worker passes WinInet, CryptoAPI and posted messages,
// the tests pass fakes.
struct UpdateOperations {
    // An empty body means no connection, or CANCEL pressed while it came.
    std::function<std::string(const std::string& address)> fetchManifest;
    // Signed builds only: whether the fetched bytes carry the operator's signature, kept at
    // `signatureAddress`. Unset, the list is taken as it comes and no signature is asked for.
    std::function<bool(const std::string& manifest, const std::string& signatureAddress)> isManifestSigned;
    std::function<bool(const std::wstring& localPath)> pathExists;  // a file or a folder
    // "" for a file that cannot be read, or once `stop` is set.
    std::function<FileDigest(const std::wstring& localPath, const std::atomic<bool>& stop)> computeDigest;
    // Threads that compute the entries' digests ahead while the run handles the entries before
    // them; 0 computes each digest when its turn comes, after pathExists.
    size_t digestThreads = 0;
    // The body must have the manifest's digest (in any letter case) before it replaces anything.
    // A download that stopped midway leaves what it needs to go on from there at the next try.
    std::function<DownloadOutcome(const std::string& address, const std::wstring& localPath, const std::string& md5)>
        downloadFile;
    // Our temporary downloads (full paths) in one folder; whether one can resume (it has a
    // record that reads well); deleting one with its record.
    std::function<std::vector<std::wstring>(const std::wstring& folder)> listTemporaryFiles;
    std::function<bool(const std::wstring& temporaryPath)> canResume;
    std::function<void(const std::wstring& path)> deleteFile;
    std::function<bool()> isCancelRequested;
    // Waits before a retry; returns at once with true when CANCEL is pressed meanwhile. Unset: no
    // retries.
    std::function<bool(uint32_t milliseconds)> waitUnlessCancelled;
    std::function<void(int32_t done, int32_t total)> postProgress;
    // True while the window has not read the last progress posted; a report is then held back.
    // Unset: every report is posted.
    std::function<bool()> isProgressUnread;
    std::function<void(const std::wstring& text)> postStatus;
};

extern const wchar_t kStatusChecking[];
extern const wchar_t kStatusCannotConnect[];
extern const wchar_t kStatusNoFiles[];
extern const wchar_t kStatusCancelled[];
extern const wchar_t kStatusDownloadingPrefix[];
extern const wchar_t kStatusDownloadFailedPrefix[];
extern const wchar_t kStatusComplete[];
extern const wchar_t kStatusNotSigned[];
extern const wchar_t kStatusNoRoomPrefix[];
extern const wchar_t kStatusInUsePrefix[];
extern const wchar_t kStatusCannotWritePrefix[];

// Runs to one of its ends (no connection, a list not signed, empty manifest, cancelled, a download
// failed, no room, a file in use, a file that cannot be written, complete), posts its text last and
// returns true only for the complete one; the caller announces the end once the threads it
// started for the run are gone. Memory running out ends the run as a failed fetch before the first
// entry is examined, and as a failed download of the entry under way after that. Our temporary downloads left beside
// listed files are deleted before the first entry is examined, unless they can resume; a complete run deletes every
// other one it found too. Progress held back while the window has not read the last one goes out before the next status
// text, so the figures are exact whenever a text or the finish arrives. Files live under
// `launcherFolder` (no trailing separator); `serverRoot` is the server's scheme and host.
bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations);
