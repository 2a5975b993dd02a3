// MD5 of a local file through CryptoAPI.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/scoped_win.h"
#include "update/local/local_file.h"

// 32 lower-case hexadecimal digits, or the empty string when the file cannot be opened or read
// or the digest cannot be computed. `onBlock`, when given, hears the length of each block read.
std::string ComputeFileMd5(const std::wstring& path, const std::function<void(uint32_t)>& onBlock = nullptr);

// The same with a CryptoAPI provider the caller keeps for many files: acquiring one costs more
// than hashing a small file, and an update run hashes thousands. `provider` comes from
// AcquireMd5Provider; when it is 0 the call acquires its own, as ComputeFileMd5 does.
// Once `stop` is set, the digest ends at the next block and gives "".
// A file that another program holds without read sharing is waited for up to 2 s; still held,
// it gives "" with `inUse` (when given) set.
HCRYPTPROV AcquireMd5Provider();
std::string ComputeFileMd5With(HCRYPTPROV provider,
                               const std::wstring& path,
                               const std::function<void(uint32_t)>& onBlock = nullptr,
                               const DigestStop& stop = DigestStop(),
                               bool* inUse = nullptr);

// An MD5 fed piece by piece, for bytes hashed while they arrive: started on `provider`, fed
// with HashBytes and, for what is already on disk, HashOpenFile (from the file's current
// position to its end); FinishMd5 gives the digest as ComputeFileMd5 does, or "" on failure.
bool StartMd5(HCRYPTPROV provider, ScopedCryptHash* hash);
bool HashBytes(HCRYPTHASH hash, const void* bytes, DWORD length);
bool HashOpenFile(HCRYPTHASH hash, HANDLE file);
std::string FinishMd5(HCRYPTHASH hash);
