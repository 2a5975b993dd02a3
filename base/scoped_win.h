// Scope-bound owners of Windows handles: each frees its resource when it goes out of scope,
// so every create sits next to its delete. Copying is deleted; long-lived things live elsewhere.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <wininet.h>
#include <gdiplus.h>

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
// Threads and processes close the same way.
using ScopedKernelHandle = ScopedHandle<HANDLE, FileHandleTraits>;

// A search of a folder's entries (FindFirstFileW), ended with FindClose.
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return FindClose(h) != FALSE; }
};
using ScopedFindHandle = ScopedHandle<HANDLE, FindHandleTraits>;

struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static bool IsValid(HWND h) { return h != nullptr; }
    static bool Close(HWND h) { return DestroyWindow(h) != FALSE; }
};
using ScopedWindow = ScopedHandle<HWND, WindowTraits>;

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

// bcrypt's handles: an algorithm provider, and the keys opened from it (to be destroyed first).
template <typename Handle, NTSTATUS(WINAPI* Destroy)(Handle)>
struct BCryptTraits {
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static bool Close(Handle h) { return Destroy(h) >= 0; }
};
inline NTSTATUS WINAPI CloseBCryptAlgorithm(BCRYPT_ALG_HANDLE h) {
    return BCryptCloseAlgorithmProvider(h, 0);
}
using ScopedBCryptAlgorithm = ScopedHandle<BCRYPT_ALG_HANDLE, BCryptTraits<BCRYPT_ALG_HANDLE, CloseBCryptAlgorithm>>;
using ScopedBCryptKey = ScopedHandle<BCRYPT_KEY_HANDLE, BCryptTraits<BCRYPT_KEY_HANDLE, BCryptDestroyKey>>;
using ScopedBCryptHash = ScopedHandle<BCRYPT_HASH_HANDLE, BCryptTraits<BCRYPT_HASH_HANDLE, BCryptDestroyHash>>;

// A slim reader/writer lock held exclusively for a scope. Wait sleeps on a condition variable with
// the lock let go meanwhile; Unlocked runs an action with it let go, and takes it again after,
// also when the action throws.
class ScopedSrwLock {
public:
    explicit ScopedSrwLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ~ScopedSrwLock() { ReleaseSRWLockExclusive(lock_); }
    ScopedSrwLock(const ScopedSrwLock&) = delete;
    ScopedSrwLock& operator=(const ScopedSrwLock&) = delete;
    void Wait(CONDITION_VARIABLE* changed, DWORD milliseconds) {
        SleepConditionVariableSRW(changed, lock_, milliseconds, 0);
    }
    template <typename Action>
    auto Unlocked(Action action) -> decltype(action()) {
        ReleaseSRWLockExclusive(lock_);
        struct Again {
            SRWLOCK* lock;
            ~Again() { AcquireSRWLockExclusive(lock); }
        } again{lock_};
        return action();
    }

private:
    SRWLOCK* lock_;
};

// GDI drawing objects: brushes, pens, bitmaps, fonts. Delete only what is not selected into a DC,
// so a ScopedSelectObject for it must be declared after it (and so end before it).
template <typename Object>
struct GdiObjectTraits {
    static Object Invalid() { return nullptr; }
    static bool IsValid(Object object) { return object != nullptr; }
    static bool Close(Object object) { return DeleteObject(object) != FALSE; }
};
template <typename Object>
using ScopedGdiObject = ScopedHandle<Object, GdiObjectTraits<Object>>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedPen = ScopedGdiObject<HPEN>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;

// A DC from CreateCompatibleDC (not one from GetDC or BeginPaint, which are released differently).
struct MemoryDcTraits {
    static HDC Invalid() { return nullptr; }
    static bool IsValid(HDC dc) { return dc != nullptr; }
    static bool Close(HDC dc) { return DeleteDC(dc) != FALSE; }
};
using ScopedMemoryDc = ScopedHandle<HDC, MemoryDcTraits>;

// Selects an object into a DC and selects the one it replaced back when the scope ends, so the
// object can be deleted afterwards and the DC is left as it was found.
// A window's DC from GetDC, given back with ReleaseDC.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedWindowDc() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A GDI+ drawing surface from GdipCreateFromHDC (or another GdipCreate... of a graphics object).
struct GdipGraphicsTraits {
    static Gdiplus::GpGraphics* Invalid() { return nullptr; }
    static bool IsValid(Gdiplus::GpGraphics* graphics) { return graphics != nullptr; }
    static bool Close(Gdiplus::GpGraphics* graphics) {
        return Gdiplus::DllExports::GdipDeleteGraphics(graphics) == Gdiplus::Ok;
    }
};
using ScopedGdipGraphics = ScopedHandle<Gdiplus::GpGraphics*, GdipGraphicsTraits>;

// A COM interface pointer, released when the scope ends; release it before COM is uninitialised.
template <typename Interface>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    ~ScopedComPtr() {
        if (pointer_)
            pointer_->Release();
    }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    // For the out-parameter of CoCreateInstance, QueryInterface and the like.
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }
    Interface** ReceiveTyped() { return &pointer_; }

private:
    Interface* pointer_ = nullptr;
};
