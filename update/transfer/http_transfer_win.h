// A file fetched whole from the update server and put in place, within the bounds of
// TransferLimits. Transfers made on one session reuse its connection; one given no session makes
// one of its own.
#pragma once

#include <atomic>
#include <string>

#include "update/local/download_outcome.h"
#include "update/transfer/file_fetch_win.h"
#include "update/local/file_install_win.h"
#include "update/transfer/transfer_limits.h"
#include "update/transfer/transfer_session_win.h"

// FetchToTemporary, then InstallDownload once it has fetched.
DownloadOutcome DownloadToFile(const std::string& address,
                               const std::wstring& localPath,
                               const std::string& md5,
                               const TransferLimits& limits = kTransferLimits,
                               const TransferSession& session = nullptr,
                               const std::atomic<bool>* cancel = nullptr);
