#include "update/transfer/http_transfer_win.h"

DownloadOutcome DownloadToFile(const std::string& address,
                               const std::wstring& localPath,
                               const std::string& md5,
                               const TransferLimits& limits,
                               const TransferSession& session,
                               const std::atomic<bool>* cancel) {
    const DownloadOutcome fetched =
        FetchToTemporary(address, localPath, md5, limits, session, TransferStop{cancel, nullptr});
    return fetched == DownloadOutcome::kFetched ? InstallDownload(localPath) : fetched;
}
