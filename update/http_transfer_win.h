// Blocking HTTPS GETs from the update server, each within the bounds of TransferLimits. Transfers
// made on one session reuse its connection; one given no session makes one of its own.
#pragma once

#include <atomic>
#include <string>

#include "update/transfer_limits.h"
#include "update/transfer_session_win.h"

// The whole body of a 200 answer, or the empty string when the request failed, the status was
// not 200, the body ended early, came too slowly, would pass limits.maxManifestBytes, or `cancel`
// was set while it came.
std::string DownloadToString(const std::string& address,
                             const TransferLimits& limits = kTransferLimits,
                             const TransferSession& session = nullptr,
                             const std::atomic<bool>* cancel = nullptr);

// When the downloaded file's MD5 must equal the manifest's digest before it may replace the old one.
enum class DigestRule {
    kWhenLengthless,  // a body without a length of its own: only its digest tells it from a cut one
    kAlways,          // signed builds: the signed list vouches for nothing else
};

// Streams the body into a temporary file beside `localPath` and replaces `localPath` with it once
// the whole body has arrived. Creates the missing folders of `localPath` first, before any network
// activity. The body is kept only when its MD5 equals `md5` where `rule` asks for it, and always
// when it was resumed. A failure leaves an existing file as it was. A transfer cut by a passing
// fault after some bytes keeps its temporary file with a record beside it (ResumeRecordPath),
// and the next call at `localPath` asks only for the rest; any other failure removes both.
// `worthRetrying` tells whether a failure may pass (no connection, a 5xx, a body cut or too slow).
// When `localPath` is the running launcher, the running one is moved aside to
// SupersededLauncherPath first.
bool DownloadToFile(const std::string& address,
                    const std::wstring& localPath,
                    const std::string& md5 = std::string(),
                    const TransferLimits& limits = kTransferLimits,
                    const TransferSession& session = nullptr,
                    DigestRule rule = DigestRule::kWhenLengthless,
                    bool* worthRetrying = nullptr);

// Whether a temporary download (its path) has a sound record beside it, so the next download at
// its target goes on from where it stopped.
bool CanResumeDownload(const std::wstring& temporaryPath);
// Deletes a temporary download and its record.
void DeleteDownload(const std::wstring& temporaryPath);
