#include "test_support_win.h"

#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "update/local/entry_paths.h"

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring WinePathFromUnix(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

namespace {

std::wstring FolderFromEnvironment(const char* name) {
    const std::string dir = EnvironmentValue(name);
    return dir.empty() ? std::wstring() : WinePathFromUnix(dir);
}

std::string LogSince(const char* name, size_t offset) {
    const std::string log = EnvironmentValue(name);
    const std::string text = log.empty() ? std::string() : ReadBytes(WinePathFromUnix(log));
    return offset < text.size() ? text.substr(offset) : std::string();
}

}  // namespace

std::string TestServerRoot() {
    return EnvironmentValue("VARDENHAL_TEST_SERVER");
}

std::wstring TestServerFolder() {
    return FolderFromEnvironment("VARDENHAL_TEST_SERVER_DIR");
}

bool HasTestServerLog() {
    return !EnvironmentValue("VARDENHAL_TEST_SERVER_LOG").empty();
}

std::string TestServerLogSince(size_t offset) {
    return LogSince("VARDENHAL_TEST_SERVER_LOG", offset);
}

std::string TestMirrorRoot() {
    return EnvironmentValue("VARDENHAL_TEST_MIRROR");
}

std::wstring TestMirrorFolder() {
    return FolderFromEnvironment("VARDENHAL_TEST_MIRROR_DIR");
}

bool HasTestMirrorLog() {
    return !EnvironmentValue("VARDENHAL_TEST_MIRROR_LOG").empty();
}

std::string TestMirrorLogSince(size_t offset) {
    return LogSince("VARDENHAL_TEST_MIRROR_LOG", offset);
}

std::string TestDownRoot() {
    return EnvironmentValue("VARDENHAL_TEST_DOWN_ROOT");
}

bool WaitForLogged(const std::string& part, size_t offset, size_t count) {
    const ULONGLONG end = GetTickCount64() + 30000;
    while (CountOccurrences(TestServerLogSince(offset), part) < count) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

void ReleaseServedFile(const std::wstring& served) {
    WriteBytes(served + L".release", "");
}

size_t CountOccurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TemporaryFolder::TemporaryFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ =
        std::wstring(temp) + L"vhl-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TemporaryFolder::~TemporaryFolder() {
    RemoveTree(path_);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path, bool* ok) {
    std::string bytes;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ok)
        *ok = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    std::vector<char> block(65536);
    DWORD got = 0;
    while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0)
        bytes.append(block.data(), got);
    CloseHandle(file);
    return bytes;
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

DibCanvas::DibCanvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<const uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    const RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
}

DibCanvas::~DibCanvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF DibCanvas::Pixel(int x, int y) const {
    GdiFlush();
    const uint32_t bgra = bits_[y * width_ + x];  // the DIB keeps blue in the low byte
    return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
}

namespace {

// GDI+ runs for the whole test binary, as it does for the whole life of the program's window.
class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

const ::testing::Environment* const gdiplusEnvironment = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

}  // namespace

ProcessHoldings HoldingsOfThisProcess() {
    ProcessHoldings holdings;
    const DWORD self = GetCurrentProcessId();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
            if (entry.th32OwnerProcessID == self)
                ++holdings.threads;
        CloseHandle(snapshot);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
        holdings.handles = handles;
    if (holdings.handles == 0) {
        WIN32_FIND_DATAW entry;
        const HANDLE search = FindFirstFileW(L"Z:\\proc\\self\\fd\\*", &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do
                ++holdings.handles;
            while (FindNextFileW(search, &entry));
            FindClose(search);
        }
    }
    // Wine fills in only the commit charge, which is the private bytes.
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
        holdings.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    return holdings;
}

namespace {

using CreateFileWFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
CreateFileWFunction realCreateFileW = nullptr;
std::mutex watchedLock;
std::set<std::wstring> watchedKeys;
std::atomic<long> readOpens{0};

std::wstring KeyOfOpened(const wchar_t* name) {
    std::wstring path = name;
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        path.erase(0, 4);
    return PathKey(path);
}

HANDLE WINAPI CountingCreateFileW(LPCWSTR name,
                                  DWORD access,
                                  DWORD share,
                                  LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition,
                                  DWORD flags,
                                  HANDLE templateFile) {
    if (name && (access & (GENERIC_READ | FILE_READ_DATA))) {
        const std::wstring key = KeyOfOpened(name);
        std::lock_guard<std::mutex> hold(watchedLock);
        if (watchedKeys.count(key))
            ++readOpens;
    }
    return realCreateFileW(name, access, share, security, disposition, flags, templateFile);
}

// The import table entry of this program through which it calls `function`.
void** ImportSlotOf(FARPROC function) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return nullptr;
    for (const IMAGE_IMPORT_DESCRIPTOR* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         module->Name != 0; ++module) {
        for (IMAGE_THUNK_DATA* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
             thunk->u1.Function != 0; ++thunk) {
            if (reinterpret_cast<FARPROC>(thunk->u1.Function) == function)
                return reinterpret_cast<void**>(&thunk->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

}  // namespace

ReadOpenCounter::ReadOpenCounter(const std::vector<std::wstring>& paths) {
    {
        std::lock_guard<std::mutex> hold(watchedLock);
        watchedKeys.clear();
        for (const std::wstring& path : paths)
            watchedKeys.insert(PathKey(path));
    }
    readOpens = 0;
    const FARPROC real = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateFileW");
    slot_ = real ? ImportSlotOf(real) : nullptr;
    if (slot_) {
        realCreateFileW = reinterpret_cast<CreateFileWFunction>(reinterpret_cast<void*>(real));
        WriteSlot(slot_, reinterpret_cast<void*>(&CountingCreateFileW));
    }
}

ReadOpenCounter::~ReadOpenCounter() {
    if (slot_)
        WriteSlot(slot_, reinterpret_cast<void*>(realCreateFileW));
}

long ReadOpenCounter::Count() const {
    return readOpens.load();
}

uint64_t LengthOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
