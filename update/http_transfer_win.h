// Blocking HTTPS GETs from the update server, each within the bounds of TransferLimits. Transfers
// made on one session reuse its connection; one given no session makes one of its own.
#pragma once

#include <string>

#include "update/transfer_limits.h"
#include "update/transfer_session_win.h"

// The whole body of a 200 answer, or the empty string when the request failed, the status was
// not 200, the body ended early, came too slowly or would pass limits.maxManifestBytes.
std::string DownloadToString(const std::string& address,
                             const TransferLimits& limits = kTransferLimits,
                             const TransferSession& session = nullptr);

// When the downloaded file's MD5 must equal the manifest's digest before it may replace the old one.
enum class DigestRule {
    kWhenLengthless,  // a body without a length of its own: only its digest tells it from a cut one
    kAlways,          // signed builds: the signed list vouches for nothing else
};

// Streams the body into a temporary file beside `localPath` and replaces `localPath` with it once
// the whole body has arrived. Creates the missing folders of `localPath` first, before any network
// activity. The body is kept only when its MD5 equals `md5` where `rule` asks for it. On
// failure the temporary file is removed and an existing file stays as it was. When `localPath` is
// the running launcher, the running one is moved aside to SupersededLauncherPath first.
bool DownloadToFile(const std::string& address,
                    const std::wstring& localPath,
                    const std::string& md5 = std::string(),
                    const TransferLimits& limits = kTransferLimits,
                    const TransferSession& session = nullptr,
                    DigestRule rule = DigestRule::kWhenLengthless);
