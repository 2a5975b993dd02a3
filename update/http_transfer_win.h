// Blocking HTTPS GETs from the update server through WinInet, one set of handles per call.
#pragma once

#include <string>

// The whole body of a 200 answer, or the empty string when the request failed, the status was
// not 200 or the body ended early.
std::string DownloadToString(const std::string& address);

// Streams the body into a temporary file beside `localPath` and replaces `localPath` with it once
// the whole body has arrived. Creates the missing folders of `localPath` first, before any network
// activity. On failure the temporary file is removed and an existing file stays as it was.
bool DownloadToFile(const std::string& address, const std::wstring& localPath);
