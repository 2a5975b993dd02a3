#include "update/list/kept_list_win.h"

#include <windows.h>
#include <shlobj.h>

#include "base/scoped_win.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/list/kept_list.h"
#include "update/local/local_files_win.h"
#include "update/transfer/transfer_limits.h"

namespace {

// The list was fetched under this bound; a larger file on disk is not one we wrote.
bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    return ReadFileUpTo(path, kTransferLimits.maxManifestBytes, bytes);
}

bool DeleteIfThere(const std::wstring& path) {
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::string Md5Of(HCRYPTPROV provider, const std::string& bytes) {
    ScopedCryptHash hash;
    if (!StartMd5(provider, &hash) || !HashBytes(hash.Get(), bytes.data(), static_cast<DWORD>(bytes.size())))
        return std::string();
    return FinishMd5(hash.Get());
}

bool ReadMatching(HCRYPTPROV provider, const std::wstring& path, const std::string& md5, std::string* bytes) {
    return ReadWholeFile(path, bytes) && Md5Of(provider, *bytes) == md5;
}

}  // namespace

std::wstring KeptListFolder(const std::wstring& launcherFolder) {
    wchar_t base[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK || !base[0])
        return std::wstring();
    return std::wstring(base) + L"\\VardenhalUpdater\\" + KeptListFolderName(launcherFolder);
}

bool ReadKeptList(const std::wstring& folder, KeptList* list) {
    // "" would name the drive's root.
    if (folder.empty())
        return false;
    const ScopedCryptContext provider(AcquireMd5Provider());
    std::string recordText;
    KeptRecord record;
    KeptList read;
    if (provider.IsValid() && ReadWholeFile(folder + L"\\" + kKeptRecordFileName, &recordText) &&
        ParseKeptRecord(recordText, &record) &&
        ReadMatching(provider.Get(), folder + L"\\" + kKeptListFileName, record.listMd5, &read.text) &&
        (record.signatureMd5.empty() || ReadMatching(provider.Get(), folder + L"\\" + kKeptSignatureFileName,
                                                     record.signatureMd5, &read.signatureFile))) {
        read.root = record.root;
        read.validator = record.validator;
        *list = std::move(read);
        return true;
    }
    DeleteKeptList(folder);
    return false;
}

bool WriteKeptList(const std::wstring& folder, const KeptList& list) {
    const ScopedCryptContext provider(AcquireMd5Provider());
    if (!provider.IsValid())
        return false;
    const bool isSigned = !list.signatureFile.empty();
    const std::string signatureMd5 = isSigned ? Md5Of(provider.Get(), list.signatureFile) : std::string();
    const std::string record =
        isSigned && signatureMd5.empty()
            ? std::string()
            : FormatKeptRecord({list.root, list.validator, Md5Of(provider.Get(), list.text), signatureMd5});
    const std::wstring listPath = folder + L"\\" + kKeptListFileName;
    const std::wstring signaturePath = folder + L"\\" + kKeptSignatureFileName;
    const std::wstring recordPath = folder + L"\\" + kKeptRecordFileName;
    const uint64_t most = kTransferLimits.maxManifestBytes;
    const bool ok = !record.empty() && list.text.size() <= most && list.signatureFile.size() <= most &&
                    MakeFolders(folder) && WriteBeside(listPath, list.text) &&
                    (!isSigned || WriteBeside(signaturePath, list.signatureFile)) && WriteBeside(recordPath, record) &&
                    RenameBeside(listPath) && (isSigned ? RenameBeside(signaturePath) : DeleteIfThere(signaturePath)) &&
                    RenameBeside(recordPath);
    if (!ok) {
        for (const std::wstring& path : {listPath, signaturePath, recordPath})
            DeleteFileW((path + kBesideSuffix).c_str());
    }
    return ok;
}

void DeleteKeptList(const std::wstring& folder) {
    if (folder.empty())
        return;
    for (const wchar_t* name : {kKeptListFileName, kKeptSignatureFileName, kKeptRecordFileName}) {
        const std::wstring path = folder + L"\\" + name;
        DeleteFileW(path.c_str());
        DeleteFileW((path + kBesideSuffix).c_str());
    }
}

uint64_t ReadAcceptedSequence(const std::wstring& folder) {
    std::string text;
    uint64_t sequence = 0;
    if (folder.empty() || !ReadWholeFile(folder + L"\\" + kAcceptedSequenceFileName, &text) ||
        !ParseAcceptedSequence(text, &sequence))
        return 0;
    return sequence;
}

bool WriteAcceptedSequence(const std::wstring& folder, uint64_t sequence) {
    const std::wstring path = folder + L"\\" + kAcceptedSequenceFileName;
    if (MakeFolders(folder) && WriteBeside(path, FormatAcceptedSequence(sequence)) && RenameBeside(path))
        return true;
    DeleteFileW((path + kBesideSuffix).c_str());
    return false;
}
