// Downloads into memory: a small file whole, or the update list, decoded and within its limit.
#pragma once

#include <atomic>
#include <string>

#include "update/list/list_fetch.h"
#include "update/transfer/transfer_limits.h"
#include "update/transfer/transfer_session_win.h"

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
