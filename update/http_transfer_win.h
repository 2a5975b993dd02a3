// Blocking HTTPS GETs from the update server, each within the bounds of TransferLimits: into
// memory, or into a file put in place. Transfers made on one session reuse its connection; one
// given no session makes one of its own.
#pragma once

#include <atomic>
#include <string>

#include "update/download_outcome.h"
#include "update/file_fetch_win.h"
#include "update/file_install_win.h"
#include "update/memory_download_win.h"
#include "update/transfer_limits.h"
#include "update/transfer_session_win.h"

// FetchToTemporary, then InstallDownload once it has fetched.
DownloadOutcome DownloadToFile(const std::string& address,
                               const std::wstring& localPath,
                               const std::string& md5,
                               const TransferLimits& limits = kTransferLimits,
                               const TransferSession& session = nullptr,
                               const std::atomic<bool>* cancel = nullptr);
