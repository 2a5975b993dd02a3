// The operations of an update run assembled from the platform's pieces (WinInet transfers on one
// session, CryptoAPI digests, the kept list, the folder's leftovers), and the run made with them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "update/transfer/transfer_limits.h"
#include "update/run/worker_messages_win.h"

// The run itself, on the calling thread, reporting to `window`. Everything it starts (the session
// and its reading threads, the digest threads, the CryptoAPI provider) is gone when this returns:
// only then may the window hear of the end. True when the run completed.
bool RunUpdateOnThisThread(HWND window,
                           UpdateRunFlags& flags,
                           const std::wstring& launcherFolder,
                           const std::vector<std::string>& serverRoots,
                           const TransferLimits& limits,
                           const std::string& manifestPublicKey);
