#include "update/update_worker_win.h"

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/entry_paths.h"
#include "update/file_digest_win.h"
#include "update/http_transfer_win.h"
#include "update/update_run.h"

std::atomic<bool> cancelRequested{false};

bool PostStatusText(HWND window, const std::wstring& text) {
    // A null window would turn the post into a thread message nobody reads.
    if (!window)
        return false;
    std::wstring* copy = new std::wstring(text);
    if (PostMessageA(window, WM_UPDATE_STATUS, 0, reinterpret_cast<LPARAM>(copy)))
        return true;
    delete copy;
    return false;
}

std::wstring TakeStatusText(LPARAM lParam) {
    std::wstring* copy = reinterpret_cast<std::wstring*>(lParam);
    if (!copy)
        return std::wstring();
    std::wstring text = std::move(*copy);
    delete copy;
    return text;
}

void RunUpdateForWindow(HWND window, const std::wstring& launcherFolder, const std::string& serverRoot) {
    UpdateOperations operations;
    operations.fetchManifest = [](const std::string& address) { return DownloadToString(address); };
    operations.pathExists = [](const std::wstring& localPath) {
        return GetFileAttributesW(localPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    // One CryptoAPI provider for the whole run (released when the run ends).
    ScopedCryptContext md5Provider(AcquireMd5Provider());
    const HCRYPTPROV provider = md5Provider.Get();
    operations.computeDigest = [provider](const std::wstring& localPath) {
        return ComputeFileMd5With(provider, localPath);
    };
    operations.downloadFile = [](const std::string& address, const std::wstring& localPath) {
        return DownloadToFile(address, localPath);
    };
    operations.isCancelRequested = [] { return cancelRequested.load(std::memory_order_relaxed); };
    operations.postProgress = [window](int32_t done, int32_t total) {
        PostMessageA(window, WM_UPDATE_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
    };
    operations.postStatus = [window](const std::wstring& text) { PostStatusText(window, text); };
    operations.postFinished = [window](bool complete) {
        PostMessageA(window, WM_UPDATE_FINISHED, complete ? kUpdateRunComplete : kUpdateRunNotComplete, 0);
    };
    RunUpdate(launcherFolder, serverRoot, operations);
}

DWORD WINAPI UpdateWorker(LPVOID argument) {
    HWND* block = static_cast<HWND*>(argument);
    const HWND window = *block;
    delete block;
    RunUpdateForWindow(window, GetLauncherFolder(), kUpdateServerRoot);
    return 0;
}

bool StartUpdateWorker(HWND window) {
    HWND* block = new HWND(window);
    const HANDLE thread = CreateThread(nullptr, 0, UpdateWorker, block, 0, nullptr);
    if (!thread) {
        delete block;
        return false;
    }
    // Nothing ever waits for the worker; the handle is not needed.
    CloseHandle(thread);
    return true;
}
