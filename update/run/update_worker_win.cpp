#include "update/run/update_worker_win.h"

#include "base/launcher_folder_win.h"
#include "update/local/entry_paths.h"
#include "update/local/file_install_win.h"
#include "update/list/manifest_signature.h"
#include "update/run/run_operations_win.h"
#include "update/run/update_run.h"

void RunUpdateForWindow(HWND window,
                        UpdateRunFlags& flags,
                        const std::wstring& launcherFolder,
                        const std::vector<std::string>& serverRoots,
                        const TransferLimits& limits,
                        const std::string& manifestPublicKey) {
    bool complete = false;
    // The run turns running out of memory into an end with its own text; anything else thrown
    // must not end the program either, nor leave the button at CANCEL.
    try {
        complete = RunUpdateOnThisThread(window, flags, launcherFolder, serverRoots, limits, manifestPublicKey);
    } catch (...) {
        PostStatusText(window, kStatusCannotConnect);
    }
    PostMessageA(window, WM_UPDATE_FINISHED, complete ? kUpdateRunComplete : kUpdateRunNotComplete, 0);
}

DWORD WINAPI UpdateWorker(LPVOID argument) {
    const std::unique_ptr<UpdateWorkerArgument> block(static_cast<UpdateWorkerArgument*>(argument));
    std::wstring launcherFolder;
    try {
        launcherFolder = GetLauncherFolder();
    } catch (...) {
        PostStatusText(block->window, kStatusCannotConnect);
        PostMessageA(block->window, WM_UPDATE_FINISHED, kUpdateRunNotComplete, 0);
        return 0;
    }
    RunUpdateForWindow(block->window, *block->flags, launcherFolder, SplitUpdateRoots(kUpdateServerRoot),
                       kTransferLimits, kManifestPublicKey);
    return 0;
}

HANDLE StartUpdateWorker(HWND window, const std::shared_ptr<UpdateRunFlags>& flags) {
    UpdateWorkerArgument* block = new UpdateWorkerArgument{window, flags};
    const HANDLE thread = CreateThread(nullptr, 0, UpdateWorker, block, 0, nullptr);
    if (!thread)
        delete block;
    return thread;
}

void EndUpdateWorker(HANDLE worker, UpdateRunFlags& flags, DWORD milliseconds) {
    flags.cancelRequested.store(true);
    if (worker)
        WaitForSingleObject(worker, milliseconds);
    KeepLauncherInPlace();
}
