// Blocking HTTPS GETs from the update server, each within the bounds of TransferLimits. Transfers
// made on one session reuse its connection; one given no session makes one of its own.
#pragma once

#include <atomic>
#include <string>

#include "update/download_outcome.h"
#include "update/list_fetch.h"
#include "update/transfer_limits.h"
#include "update/transfer_session_win.h"

// The whole body of a 200 answer, or the empty string when the request failed, the status was
// not 200, the body ended early, came too slowly, would pass limits.maxManifestBytes, or `cancel`
// was set while it came.
std::string DownloadToString(const std::string& address,
                             const TransferLimits& limits = kTransferLimits,
                             const TransferSession& session = nullptr,
                             const std::atomic<bool>* cancel = nullptr);

// The update list at `address`, compressed on the way if the server likes, and decoded; with
// `unlessStill` (a validator), a bodiless kNotModified when the server still has that version.
// A list cut short, too slow, or past limits.maxManifestBytes once decoded is no list.
ListAnswer DownloadList(const std::string& address,
                        const std::string& unlessStill,
                        const TransferLimits& limits,
                        const TransferSession& session,
                        const std::atomic<bool>* cancel);

// Streams the body into a temporary file beside `localPath`, hashing it as it arrives and telling
// `progress` (when given) its bytes, and returns kFetched once the whole body has arrived and its
// MD5 is `md5` (in any letter case; an empty `md5` never matches): the temporary file then waits
// for InstallDownload. Creates the missing folders of `localPath` first, before any network
// activity, and touches no existing file there. A transfer cut by a passing fault or by `stop`
// after some bytes keeps its temporary file with a record beside it (ResumeRecordPath), and the
// next call at `localPath` asks only for the rest; any other failure removes both.
DownloadOutcome FetchToTemporary(const std::string& address,
                                 const std::wstring& localPath,
                                 const std::string& md5,
                                 const TransferLimits& limits,
                                 const TransferSession& session,
                                 const TransferStop& stop,
                                 FetchProgress* progress = nullptr);

// Replaces `localPath` with the file FetchToTemporary left beside it: kStored, or kInUse or
// kCannotWrite, which leave an existing file as it was and remove the temporary one. When
// `localPath` is the running launcher, the running one is moved aside to SupersededLauncherPath.
DownloadOutcome InstallDownload(const std::wstring& localPath);

// FetchToTemporary, then InstallDownload once it has fetched.
DownloadOutcome DownloadToFile(const std::string& address,
                               const std::wstring& localPath,
                               const std::string& md5,
                               const TransferLimits& limits = kTransferLimits,
                               const TransferSession& session = nullptr,
                               const std::atomic<bool>* cancel = nullptr);

// Whether a temporary download (its path) has a sound record beside it, so the next download at
// its target goes on from where it stopped.
bool CanResumeDownload(const std::wstring& temporaryPath);
// Deletes a temporary download and its record.
void DeleteDownload(const std::wstring& temporaryPath);
