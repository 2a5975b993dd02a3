// Scope-bound owners of Windows handles: each frees its resource when it goes out of scope,
// so every create sits next to its delete. Copying is deleted; long-lived things live elsewhere.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

template <typename Handle, typename Traits>
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    Handle Get() const { return handle_; }
    bool IsValid() const { return Traits::IsValid(handle_); }
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(handle_))
            Traits::Close(handle_);
        handle_ = handle;
    }
    // Closes now and reports whether the close itself succeeded (a file's last writes can fail here).
    bool Close() {
        const bool ok = !Traits::IsValid(handle_) || Traits::Close(handle_);
        handle_ = Traits::Invalid();
        return ok;
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
using ScopedFile = ScopedHandle<HANDLE, FileHandleTraits>;

struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static bool IsValid(HINTERNET h) { return h != nullptr; }
    static bool Close(HINTERNET h) { return InternetCloseHandle(h) != FALSE; }
};
using ScopedInternetHandle = ScopedHandle<HINTERNET, InternetHandleTraits>;

struct CryptContextTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static bool IsValid(HCRYPTPROV h) { return h != 0; }
    static bool Close(HCRYPTPROV h) { return CryptReleaseContext(h, 0) != FALSE; }
};
using ScopedCryptContext = ScopedHandle<HCRYPTPROV, CryptContextTraits>;

struct CryptHashTraits {
    static HCRYPTHASH Invalid() { return 0; }
    static bool IsValid(HCRYPTHASH h) { return h != 0; }
    static bool Close(HCRYPTHASH h) { return CryptDestroyHash(h) != FALSE; }
};
using ScopedCryptHash = ScopedHandle<HCRYPTHASH, CryptHashTraits>;
