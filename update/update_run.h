// One update run: fetch the manifest, compare each listed file's digest with the local copy and
// download what is missing or differs, reporting every step through the given operations.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class DownloadOutcome {
    kStored,
    kFailedForNow,  // a fault that may pass: no connection, a 5xx, a body cut short or too slow
    kFailed,        // anything else: a 4xx, a digest that does not match, a file that cannot be written
};

// A file is tried this many times at most; before the second and third tries the run waits.
constexpr int kMostAttempts = 3;
constexpr uint32_t kRetryDelaysMs[kMostAttempts - 1] = {1000, 2000};

// What a run needs from the platform; the worker passes WinInet, CryptoAPI and posted messages,
// the tests pass fakes.
struct UpdateOperations {
    std::function<std::string(const std::string& address)> fetchManifest;  // empty body = no connection
    // Signed builds only: whether the fetched bytes carry the operator's signature, kept at
    // `signatureAddress`. Unset, the list is taken as it comes and no signature is asked for.
    std::function<bool(const std::string& manifest, const std::string& signatureAddress)> isManifestSigned;
    std::function<bool(const std::wstring& localPath)> pathExists;  // a file or a folder
    // "" for a file that cannot be read, or once `stop` is set.
    std::function<std::string(const std::wstring& localPath, const std::atomic<bool>& stop)> computeDigest;
    // Threads that compute the entries' digests ahead while the run handles the entries before
    // them; 0 computes each digest when its turn comes, after pathExists.
    size_t digestThreads = 0;
    // The manifest's digest is for a body that brings no length of its own (only its digest tells
    // it from a cut one) and, in a signed build, for every body.
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
    std::function<void(bool complete)> postFinished;  // exactly once, last
};

extern const wchar_t kStatusChecking[];
extern const wchar_t kStatusCannotConnect[];
extern const wchar_t kStatusNoFiles[];
extern const wchar_t kStatusCancelled[];
extern const wchar_t kStatusDownloadingPrefix[];
extern const wchar_t kStatusDownloadFailedPrefix[];
extern const wchar_t kStatusComplete[];
extern const wchar_t kStatusNotSigned[];

// Runs to one of its six ends (no connection, a list not signed, empty manifest, cancelled, download failed,
// complete) and returns true only for the complete one. Memory running out ends the run as a
// failed fetch or a failed download. Our temporary downloads left beside listed files are
// deleted before the first entry is examined, unless they can resume; a complete run deletes
// every other one it found too.
// Progress held back while the window has not read the last one goes out before the next status
// text, so the figures are exact whenever a text or the finish arrives. Files live under
// `launcherFolder` (no trailing separator); `serverRoot` is the server's scheme and host.
bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations);
