#include "tools/filelist/file_access.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/scoped_win.h"
#include "tools/filelist/signing.h"
#include "update/local/file_digest_win.h"

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], count, nullptr, nullptr);
    return narrow;
}

// The portable half joins with '/'; Win32 takes it, but backslashes keep long and odd paths safe.
std::wstring ToWindowsPath(const std::string& path) {
    std::wstring wide = Widen(path);
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    return wide;
}

uint64_t LengthOf(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

// A reparse point to a folder (junction, link) is not followed, so a walk never loops.
PathKind KindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::kOther : PathKind::kFolder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return PathKind::kOther;
    return PathKind::kFile;
}

bool ReadFolder(const std::string& folder, std::vector<FolderItem>* items) {
    WIN32_FIND_DATAW found;
    ScopedFindHandle find(FindFirstFileW((ToWindowsPath(folder) + L"\\*").c_str(), &found));
    if (!find.IsValid())
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        FolderItem item;
        item.name = Narrow(name);
        item.kind = KindOf(found.dwFileAttributes);
        item.length = LengthOf(found.nFileSizeHigh, found.nFileSizeLow);
        items->push_back(item);
    } while (FindNextFileW(find.Get(), &found));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

PathKind InspectPath(const std::string& path, uint64_t* length) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ToWindowsPath(path).c_str(), GetFileExInfoStandard, &data))
        return PathKind::kMissing;
    *length = LengthOf(data.nFileSizeHigh, data.nFileSizeLow);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    ScopedFile file(CreateFileW(ToWindowsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid())
        return false;
    bytes->clear();
    char block[65536];
    DWORD count = 0;
    for (;;) {
        if (!ReadFile(file.Get(), block, sizeof block, &count, nullptr))
            return false;
        if (count == 0)
            return true;
        bytes->append(block, count);
    }
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    const std::wstring target = ToWindowsPath(path);
    const std::wstring temporary = target + L".partial";
    ScopedFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.IsValid())
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && FlushFileBuffers(file.Get());
    if (!file.Close() || !ok || !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::string ComputeMd5(const std::string& path, const std::function<void(uint64_t)>& onBlock) {
    return ComputeFileMd5(ToWindowsPath(path), [&onBlock](uint32_t length) {
        if (onBlock)
            onBlock(length);
    });
}

HANDLE OpenToRead(const std::string& path, DWORD flags) {
    return CreateFileW(ToWindowsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

bool StreamFile(const std::string& path, const std::function<void(const uint8_t*, size_t)>& onBytes) {
    ScopedFile file(OpenToRead(path, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!file.IsValid())
        return false;
    std::vector<uint8_t> block(256 * 1024);
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &count, nullptr))
            return false;
        if (count == 0)
            return true;
        onBytes(block.data(), count);
    }
}

size_t ReadFileAt(const std::string& path, uint64_t offset, uint8_t* into, size_t length) {
    ScopedFile file(OpenToRead(path, FILE_FLAG_RANDOM_ACCESS));
    if (!file.IsValid())
        return 0;
    size_t done = 0;
    while (done < length) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
        DWORD count = 0;
        // Past the end ReadFile fails with ERROR_HANDLE_EOF: the bytes read so far are all there is.
        if (!ReadFile(file.Get(), into + done, wanted, &count, &at) || count == 0)
            break;
        done += count;
    }
    return done;
}

// Made with an access list that lets in its owner alone, so the key is never readable by others.
bool CreatePrivateFile(const std::string& path, const std::string& bytes) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const std::wstring target = ToWindowsPath(path);
    ScopedFile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, 0, nullptr));
    LocalFree(descriptor);
    if (!file.IsValid())
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && FlushFileBuffers(file.Get());
    if (!file.Close() || !ok) {
        DeleteFileW(target.c_str());
        return false;
    }
    return true;
}

}  // namespace

FileListOperations MakeFileListOperations() {
    FileListOperations operations;
    operations.readFolder = ReadFolder;
    operations.inspectPath = InspectPath;
    operations.readFile = ReadWholeFile;
    operations.replaceFile = ReplaceFileContents;
    operations.computeFileMd5 = ComputeMd5;
    operations.streamFile = StreamFile;
    operations.readFileAt = ReadFileAt;
    operations.generateKey = GenerateSigningKey;
    operations.sign = SignWithKeyFile;
    operations.verify = VerifySignature;
    operations.createPrivateFile = CreatePrivateFile;
    DWORD mode = 0;
    operations.errorIsTerminal = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
    return operations;
}

std::vector<std::string> ReadArguments(int, char**) {
    // The narrow argv is in the ANSI code page; the wide command line holds every name exactly.
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 1; i < count; ++i)
            args.push_back(Narrow(wide[i]));
        LocalFree(wide);
    }
    _setmode(_fileno(stdout), _O_BINARY);
    return args;
}
