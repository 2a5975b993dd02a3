#include "update/local/file_digest_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "base/scoped_win.h"
#include "update/local/digest_text.h"
#include "update/local/held_file_win.h"

namespace {
constexpr DWORD kReadBlockLength = 65536;
constexpr DWORD kMd5Length = 16;

// Read sharing lets others read too; delete sharing lets a download replace the file meanwhile.
HANDLE OpenForDigest(const std::wstring& path, const DigestStop& stop, bool* inUse) {
    HANDLE file = INVALID_HANDLE_VALUE;
    const DWORD error = RetryWhileHeld(
        [&] {
            file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               0, nullptr);
            return file != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
        },
        [&stop](DWORD error) { return error == ERROR_SHARING_VIOLATION && !stop.IsSet(); });
    *inUse = error == ERROR_SHARING_VIOLATION && !stop.IsSet();
    return file;
}

bool HashFrom(HCRYPTHASH hash, HANDLE file, const std::function<void(uint32_t)>& onBlock, const DigestStop& stop) {
    std::vector<BYTE> block(kReadBlockLength);
    for (;;) {
        DWORD bytesRead = 0;
        if (stop.IsSet() || !ReadFile(file, block.data(), kReadBlockLength, &bytesRead, nullptr))
            return false;
        if (bytesRead == 0)
            return true;
        if (!CryptHashData(hash, block.data(), bytesRead, 0))
            return false;
        if (onBlock)
            onBlock(bytesRead);
    }
}

}  // namespace

HCRYPTPROV AcquireMd5Provider() {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return 0;
    return provider;
}

bool StartMd5(HCRYPTPROV provider, ScopedCryptHash* hash) {
    HCRYPTHASH hashHandle = 0;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hashHandle))
        return false;
    hash->Reset(hashHandle);
    return true;
}

bool HashBytes(HCRYPTHASH hash, const void* bytes, DWORD length) {
    return CryptHashData(hash, static_cast<const BYTE*>(bytes), length, 0) != FALSE;
}

bool HashOpenFile(HCRYPTHASH hash, HANDLE file) {
    return HashFrom(hash, file, nullptr, DigestStop());
}

std::string FinishMd5(HCRYPTHASH hash) {
    BYTE value[kMd5Length];
    DWORD valueLength = kMd5Length;
    if (!CryptGetHashParam(hash, HP_HASHVAL, value, &valueLength, 0) || valueLength != kMd5Length)
        return std::string();
    return FormatDigestHex(value, kMd5Length);
}

std::string ComputeFileMd5(const std::wstring& path, const std::function<void(uint32_t)>& onBlock) {
    return ComputeFileMd5With(0, path, onBlock);
}

std::string ComputeFileMd5With(HCRYPTPROV provider,
                               const std::wstring& path,
                               const std::function<void(uint32_t)>& onBlock,
                               const DigestStop& stop,
                               bool* inUse) {
    bool held = false;
    if (!inUse)
        inUse = &held;
    *inUse = false;
    ScopedFile file(OpenForDigest(path, stop, inUse));
    if (!file.IsValid())
        return std::string();

    ScopedCryptContext ownContext;
    if (provider == 0) {
        ownContext.Reset(AcquireMd5Provider());
        if (!ownContext.IsValid())
            return std::string();
        provider = ownContext.Get();
    }

    ScopedCryptHash hash;
    // A read that fails midway gives no digest at all rather than the digest of a part of the file.
    if (!StartMd5(provider, &hash) || !HashFrom(hash.Get(), file.Get(), onBlock, stop))
        return std::string();
    file.Close();
    return FinishMd5(hash.Get());
}
