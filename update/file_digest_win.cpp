#include "update/file_digest_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "base/scoped_win.h"
#include "update/digest_text.h"

namespace {
constexpr DWORD kReadBlockLength = 65536;
constexpr DWORD kMd5Length = 16;
}  // namespace

HCRYPTPROV AcquireMd5Provider() {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return 0;
    return provider;
}

std::string ComputeFileMd5(const std::wstring& path, const std::function<void(uint32_t)>& onBlock) {
    return ComputeFileMd5With(0, path, onBlock);
}

std::string ComputeFileMd5With(HCRYPTPROV provider,
                               const std::wstring& path,
                               const std::function<void(uint32_t)>& onBlock,
                               const std::atomic<bool>* stop) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid())
        return std::string();

    ScopedCryptContext ownContext;
    if (provider == 0) {
        ownContext.Reset(AcquireMd5Provider());
        if (!ownContext.IsValid())
            return std::string();
        provider = ownContext.Get();
    }

    HCRYPTHASH hashHandle = 0;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hashHandle))
        return std::string();
    ScopedCryptHash hash(hashHandle);

    std::vector<BYTE> block(kReadBlockLength);
    // A read that fails midway gives no digest at all rather than the digest of a part of the file.
    for (;;) {
        DWORD bytesRead = 0;
        if ((stop && stop->load(std::memory_order_relaxed)) ||
            !ReadFile(file.Get(), block.data(), kReadBlockLength, &bytesRead, nullptr))
            return std::string();
        if (bytesRead == 0)
            break;
        if (!CryptHashData(hash.Get(), block.data(), bytesRead, 0))
            return std::string();
        if (onBlock)
            onBlock(bytesRead);
    }
    file.Close();

    BYTE value[kMd5Length];
    DWORD valueLength = kMd5Length;
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &valueLength, 0) || valueLength != kMd5Length)
        return std::string();
    return FormatDigestHex(value, kMd5Length);
}
