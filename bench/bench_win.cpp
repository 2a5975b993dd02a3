// Benchmark harness for scripts/bench.sh: times the program's own code under Wine, in-process, and
// prints one "RESULT name value" line per measurement (seconds unless the name says otherwise).
//   bench_win md5 FILE RUNS
//   bench_win update FOLDER SERVER_ROOT RUNS          also the peak working set and private bytes
//   bench_win download URL FILE MD5 RUNS              DownloadToFile
//   bench_win resume URL FILE MD5 RUNS                a download the server cuts, then the try after it
//   bench_win rawdownload URL FILE RUNS BLOCK MODE    a bare WinInet loop; MODE read | available
//   bench_win downloadlist BASE_URL SUMS FOLDER RUNS  DownloadToFile of every file in SUMS (md5sum's
//                                                     lines), one session
//   bench_win rawdownloadlist BASE_URL LIST FOLDER RUNS  the same with a bare one-session WinInet loop
//   bench_win bareloop LIST FOLDER RUNS               a bare single-thread digest loop over LIST
//   bench_win perfile LIST FOLDER                      per-file costs of an up-to-date check
//   bench_win paint RUNS                              start-up steps, full paint, hover tick
//   bench_win startup EXE RUNS                        process start to the first painted pixel
//   bench_win processstart RUNS                       start and exit of this harness
//   bench_win search OLD MAP RUNS                     SearchHeldBlocks over OLD with MAP, as a patch
//                                                     reads it, against ComputeFileMd5 of OLD
//   bench_win study OLD NEW LABEL                     the bytes a patch of OLD to NEW moves, for block
//                                                     sizes of 4, 8 and 16 KiB and strong digests of
//                                                     4, 8 and 16 bytes
//   bench_win noop                                    exits at once (Wine's own process start)
#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>
#include <wininet.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ui/main_window_win.h"
#include "base/scoped_win.h"
#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "ui/draw_primitives_win.h"
#include "ui/hover.h"
#include "ui/launcher_state_win.h"
#include "ui/launcher_resources_win.h"
#include "ui/main_window_input_win.h"
#include "ui/main_window_paint_win.h"
#include "update/delta/block_map.h"
#include "update/delta/block_search.h"
#include "update/local/entry_paths.h"
#include "update/local/file_digest_win.h"
#include "update/transfer/http_transfer_win.h"
#include "update/list/memory_download_win.h"
#include "update/run/update_worker_win.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* name, double value) {
    std::printf("RESULT %s %.6f\n", name, value);
    std::fflush(stdout);
}

std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(length - 1);
    return wide;
}

// Private bytes: Wine leaves PrivateUsage at 0 and keeps the figure in PagefileUsage, where
// Windows reports the same private commit as in PrivateUsage.
double PrivateMiB() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        return -1.0;
    return static_cast<double>(std::max(counters.PrivateUsage, counters.PagefileUsage)) / (1024.0 * 1024.0);
}

double PeakWorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return -1.0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int BenchMd5(const std::wstring& path, int runs) {
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        const std::string digest = ComputeFileMd5(path);
        Report("md5", Now() - start);
        std::printf("DIGEST %s\n", digest.c_str());
    }
    return 0;
}

// The worker reports to a message-only window and this thread reads its queue, as the main
// window's does: left unread, 20,000 progress messages would overflow the queue.
struct WorkerArguments {
    HWND window;
    std::wstring folder;
    std::string serverRoot;
    UpdateRunFlags flags;
};

DWORD WINAPI RunWorker(LPVOID argument) {
    WorkerArguments* arguments = static_cast<WorkerArguments*>(argument);
    RunUpdateForWindow(arguments->window, arguments->flags, arguments->folder, {arguments->serverRoot});
    return 0;
}

int BenchUpdate(const std::wstring& folder, const std::string& serverRoot, int runs) {
    Report("peak_working_set_before_mib", PeakWorkingSetMiB());
    Report("private_before_mib", PrivateMiB());
    bool allComplete = true;
    double peakPrivate = 0.0;
    for (int run = 0; run < runs; ++run) {
        ScopedWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
        // The window's animation tick, at which it takes the next progress figure.
        SetTimer(window.Get(), 1, 16, nullptr);
        WorkerArguments arguments{window.Get(), folder, serverRoot, {}};
        const double start = Now();
        ScopedKernelHandle thread(CreateThread(nullptr, 0, RunWorker, &arguments, 0, nullptr));
        bool complete = false;
        long progressCount = 0;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd != window.Get()) {
                DispatchMessageW(&message);
                continue;
            }
            if (message.message == WM_TIMER)
                arguments.flags.progressUnread.store(false);
            const WorkerReport report = ReadWorkerMessage(message.message, message.wParam, message.lParam);
            if (report.kind == WorkerReport::Kind::kProgress) {
                ++progressCount;
                peakPrivate = std::max(peakPrivate, PrivateMiB());
            } else if (report.kind == WorkerReport::Kind::kFinished) {
                complete = report.complete;
                break;
            }
        }
        WaitForSingleObject(thread.Get(), INFINITE);
        Report("update", Now() - start);
        std::printf("COMPLETE %d progress %ld\n", complete ? 1 : 0, progressCount);
        allComplete = allComplete && complete;
    }
    Report("peak_working_set_mib", PeakWorkingSetMiB());
    // What the runs left behind, once every thread of theirs has ended.
    Report("private_after_mib", PrivateMiB());
    // Read with each progress message: the figure while the run is under way.
    Report("peak_private_mib", peakPrivate);
    return allComplete ? 0 : 1;
}

int BenchDownload(const std::string& address, const std::wstring& path, const std::string& md5, int runs) {
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        const bool ok = DownloadToFile(address, path, md5) == DownloadOutcome::kStored;
        Report("download", Now() - start);
        if (!ok)
            return 1;
    }
    return 0;
}

uint64_t LengthOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Each run fetches URL?run=N, which the server cuts the first time only: the first try keeps what
// arrived, the second asks for the rest. Reports both times and the bytes each moved.
int BenchResume(const std::string& address, const std::wstring& path, const std::string& md5, int runs) {
    for (int run = 0; run < runs; ++run) {
        const std::string runAddress = address + "?run=" + std::to_string(GetTickCount64()) + std::to_string(run);
        double start = Now();
        if (DownloadToFile(runAddress, path, md5) != DownloadOutcome::kFailedForNow)
            return 1;  // not cut
        Report("resume_first", Now() - start);
        const uint64_t kept = LengthOf(TemporaryDownloadPath(path));
        Report("resume_first_bytes", static_cast<double>(kept));
        start = Now();
        if (DownloadToFile(runAddress, path, md5) != DownloadOutcome::kStored)
            return 1;
        Report("resume_second", Now() - start);
        Report("resume_second_bytes", static_cast<double>(LengthOf(path) - kept));
        DeleteFileW(path.c_str());
    }
    return 0;
}

// What DownloadToFile does on the wire, without its status check, temporary file and replace:
// the ceiling for it. "available" reads exactly what InternetQueryDataAvailable says is there.
int BenchRawDownload(const std::string& address,
                     const std::wstring& path,
                     int runs,
                     DWORD blockLength,
                     bool available) {
    const bool secure = address.compare(0, 8, "https://") == 0;
    // The launcher's own flags (it asks for no cookies: a request that looks them up costs Wine a
    // cross-process lock and a mapped view), without its redirect handling.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                        (secure ? INTERNET_FLAG_SECURE : 0);
    std::vector<char> block(blockLength);
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        ScopedInternetHandle internet(
            InternetOpenA("VardenhalUpdater", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ScopedInternetHandle request(InternetOpenUrlA(internet.Get(), address.c_str(), nullptr, 0, flags, 0));
        if (!request.IsValid())
            return 1;
        ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        uint64_t received = 0;
        for (;;) {
            DWORD wanted = blockLength;
            if (available) {
                DWORD ready = 0;
                if (!InternetQueryDataAvailable(request.Get(), &ready, 0, 0))
                    return 1;
                if (ready == 0)
                    break;
                wanted = std::min(ready, blockLength);
            }
            DWORD bytesRead = 0;
            if (!InternetReadFile(request.Get(), block.data(), wanted, &bytesRead))
                return 1;
            if (bytesRead == 0)
                break;
            DWORD bytesWritten = 0;
            WriteFile(file.Get(), block.data(), bytesRead, &bytesWritten, nullptr);
            received += bytesRead;
        }
        file.Close();
        Report("rawdownload", Now() - start);
        std::printf("BYTES %llu\n", static_cast<unsigned long long>(received));
    }
    DeleteFileW(path.c_str());
    return 0;
}

std::vector<std::string> ReadNames(const char* listPath) {
    std::vector<std::string> names;
    std::ifstream list(listPath);
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            names.push_back(line);
    return names;
}

// DownloadToFile of every file in md5sum's lines ("MD5  NAME"), on one session, as an update run
// fetches them.
int BenchDownloadList(const std::string& base, const char* sumsPath, const std::wstring& folder, int runs) {
    const std::vector<std::string> sums = ReadNames(sumsPath);
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        const TransferSession session = OpenTransferSession();
        for (const std::string& sum : sums) {
            const std::string name = sum.substr(std::min(sum.size(), size_t{34}));
            if (DownloadToFile(base + name, folder + L"\\" + Widen(name.c_str()), sum.substr(0, 32), kTransferLimits,
                               session) != DownloadOutcome::kStored)
                return 1;
        }
        Report("downloadlist", Now() - start);
    }
    return 0;
}

// The same files through one InternetOpen handle and a bare read loop: the ceiling for the above.
int BenchRawDownloadList(const std::string& base, const char* listPath, const std::wstring& folder, int runs) {
    const std::vector<std::string> names = ReadNames(listPath);
    const DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_SECURE;
    std::vector<char> block(65536);
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        ScopedInternetHandle internet(
            InternetOpenA("VardenhalUpdater", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        for (const std::string& name : names) {
            ScopedInternetHandle request(InternetOpenUrlA(internet.Get(), (base + name).c_str(), nullptr, 0, flags, 0));
            ScopedFile file(CreateFileW((folder + L"\\" + Widen(name.c_str())).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, 0, nullptr));
            if (!request.IsValid() || !file.IsValid())
                return 1;
            DWORD bytesRead = 0;
            while (InternetReadFile(request.Get(), block.data(), 65536, &bytesRead) && bytesRead > 0) {
                DWORD bytesWritten = 0;
                WriteFile(file.Get(), block.data(), bytesRead, &bytesWritten, nullptr);
            }
        }
        Report("rawdownloadlist", Now() - start);
    }
    return 0;
}

// The Wine ceiling of an up-to-date check on one thread: open, read, hash and close each file,
// with one provider, and nothing else.
int BenchBareLoop(const char* listPath, const std::wstring& folder, int runs) {
    std::vector<std::wstring> paths;
    for (const std::string& name : ReadNames(listPath)) {
        std::wstring path = folder + L"\\" + Widen(name.c_str());
        std::replace(path.begin(), path.end(), L'/', L'\\');
        paths.push_back(path);
    }
    ScopedCryptContext provider(AcquireMd5Provider());
    std::vector<BYTE> block(65536);
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        for (const std::wstring& path : paths) {
            ScopedFile file(
                CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            HCRYPTHASH hash = 0;
            if (!file.IsValid() || !CryptCreateHash(provider.Get(), CALG_MD5, 0, 0, &hash))
                return 1;
            DWORD bytesRead = 0;
            while (ReadFile(file.Get(), block.data(), 65536, &bytesRead, nullptr) && bytesRead > 0)
                CryptHashData(hash, block.data(), bytesRead, 0);
            BYTE value[16];
            DWORD length = sizeof(value);
            CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0);
            CryptDestroyHash(hash);
        }
        Report("bareloop", Now() - start);
    }
    return 0;
}

// What each file of an up-to-date check costs apart from hashing its bytes: the steps of
// ComputeFileMd5 and of the run, one kind at a time, over the same files.
int BenchPerFile(const char* listPath, const std::wstring& folder) {
    std::vector<std::wstring> paths;
    std::ifstream list(listPath);
    for (std::string line; std::getline(list, line);) {
        if (line.empty())
            continue;
        std::wstring path = folder + L"\\" + Widen(line.c_str());
        std::replace(path.begin(), path.end(), L'/', L'\\');
        paths.push_back(path);
    }
    const double count = static_cast<double>(paths.size());
    double start = Now();
    for (const std::wstring& path : paths)
        GetFileAttributesW(path.c_str());
    Report("perfile_attributes", (Now() - start) / count);
    start = Now();
    for (const std::wstring& path : paths) {
        ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    Report("perfile_open_close", (Now() - start) / count);
    start = Now();
    for (const std::wstring& path : paths)
        ComputeFileMd5(path);
    Report("perfile_md5", (Now() - start) / count);
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    start = Now();
    for (size_t i = 0; i < paths.size(); ++i) {
        PostMessageA(window, WM_UPDATE_PROGRESS, i, paths.size());
        MSG message;
        while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        }
    }
    Report("perfile_post_read_message", (Now() - start) / count);
    DestroyWindow(window);
    // Last: in a probe, thousands of these made the digests timed after them slower under Wine.
    start = Now();
    for (size_t i = 0; i < paths.size(); ++i) {
        HCRYPTPROV provider = 0;
        if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            CryptReleaseContext(provider, 0);
    }
    Report("perfile_crypt_context", (Now() - start) / count);
    return 0;
}

// A black 32-bit DIB section in a memory DC, as the window's off-screen bitmap starts.
// A 32-bit top-down DIB selected into a memory DC of its own, as the tests draw into.
class Canvas {
public:
    Canvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (bits)
            std::memset(bits, 0, static_cast<size_t>(width) * height * 4);
        selected_.reset(new ScopedSelectObject(dc_.Get(), bitmap_.Get()));
    }
    HDC Dc() const { return dc_.Get(); }

private:
    ScopedMemoryDc dc_;
    ScopedBitmap bitmap_;
    std::unique_ptr<ScopedSelectObject> selected_;  // let go first, before the bitmap and the DC
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The start-up steps of the program one by one, then the paints the window repeats.
int BenchPaint(int runs) {
    const HMODULE module = GetModuleHandleW(nullptr);
    double start = Now();
    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&launcherState.gdiplusToken, &gdiplusInput, nullptr);
    Report("gdiplus_startup", Now() - start);

    start = Now();
    const std::wstring musicPath = ExtractResourceToTemp(module, IDR_MUSIC_MP3, L"vhl_bench_music.mp3");
    Report("extract_music", Now() - start);
    DeleteFileW(musicPath.c_str());

    start = Now();
    launcherState.resources.backgroundImage = LoadImageFromResource(module, IDR_BACKGROUND_JPEG);
    Report("decode_background", Now() - start);
    // The same decode again: what is left once the codec is loaded.
    start = Now();
    GpImage* again = LoadImageFromResource(module, IDR_BACKGROUND_JPEG);
    Report("decode_background_again", Now() - start);
    Gdiplus::DllExports::GdipDisposeImage(again);
    start = Now();
    launcherState.resources.youtubeIcon = LoadImageFromResource(module, IDR_YOUTUBE_PNG);
    launcherState.resources.instagramIcon = LoadImageFromResource(module, IDR_INSTAGRAM_PNG);
    launcherState.resources.discordIcon = LoadImageFromResource(module, IDR_DISCORD_PNG);
    launcherState.resources.tiktokIcon = LoadImageFromResource(module, IDR_TIKTOK_PNG);
    Report("decode_icons", Now() - start);
    launcherState.resources.buttonFont = CreateFontOf(L"Arial", 16, FW_BOLD);
    launcherState.musicVolume = 30;
    launcherState.layout = ComputeLauncherLayout(kClientWidth, kClientHeight);

    // The first paint makes the background cache: one GDI+ stretch of the picture.
    Canvas canvas(kClientWidth, kClientHeight);
    start = Now();
    UpdateBackgroundCache(canvas.Dc(), launcherState.layout, launcherState.resources);
    PaintLauncher(canvas.Dc(), launcherState.layout, launcherState);
    Report("first_paint", Now() - start);

    std::vector<double> stretches;
    for (int run = 0; run < runs; ++run) {
        Canvas direct(kClientWidth, kClientHeight);
        start = Now();
        DrawBackgroundDirect(direct.Dc(), launcherState.layout, launcherState);
        stretches.push_back(Now() - start);
    }
    Report("stretch_direct", Median(stretches));

    // Every later paint, as WM_PAINT does it: the kept back buffer, the paint, one copy.
    auto paintAsTheWindowDoes = [&] { PaintThroughBackBuffer(canvas.Dc(), launcherState); };
    std::vector<double> paints;
    for (int run = 0; run < std::max(runs, 1) * 100; ++run) {
        start = Now();
        paintAsTheWindowDoes();
        paints.push_back(Now() - start);
    }
    Report("paint", Median(paints));

    // PaintLauncher alone, into the same bitmap each time: the part of a paint that is our code.
    std::vector<double> launcherPaints;
    for (int run = 0; run < std::max(runs, 1) * 100; ++run) {
        start = Now();
        PaintLauncher(canvas.Dc(), launcherState.layout, launcherState);
        launcherPaints.push_back(Now() - start);
    }
    Report("paint_launcher_only", Median(launcherPaints));

    // Hover ticks: the timer's six easing steps and, while a level moves, the paint it asks for.
    std::vector<double> ticks;
    for (int run = 0; run < std::max(runs, 1) * 20; ++run) {
        launcherState.updateHovered = !launcherState.updateHovered;
        bool changed = true;
        while (changed) {
            start = Now();
            // The pointer is off the window, as it is when the button it left fades.
            changed = StepHoverLevels(launcherState, POINT{-1, -1});
            if (changed) {
                paintAsTheWindowDoes();
                ticks.push_back(Now() - start);
            }
        }
    }
    Report("hover_tick", Median(ticks));

    FreeLauncherResources(launcherState.resources);
    Gdiplus::GdiplusShutdown(launcherState.gdiplusToken);
    return 0;
}

// True once the window shows something other than the black of its class brush at the middle of
// the picture and at two more points of it.
bool IsPainted(HWND window) {
    const ScopedWindowDc windowDc(window);
    const HDC dc = windowDc.Get();
    if (!dc)
        return false;
    bool painted = false;
    const POINT points[] = {{512, 290}, {200, 150}, {800, 450}};
    for (const POINT& p : points) {
        const COLORREF colour = GetPixel(dc, p.x, p.y);
        if (colour != CLR_INVALID && colour != RGB(0, 0, 0))
            painted = true;
    }
    return painted;
}

int BenchStartup(const std::wstring& program, int runs) {
    for (int run = 0; run < runs; ++run) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = L"\"" + program + L"\"";
        const double start = Now();
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return 1;
        HWND window = nullptr;
        double windowAt = 0.0;
        double paintedAt = 0.0;
        const double giveUp = start + 30.0;
        while (Now() < giveUp) {
            if (!window) {
                window = FindWindowW(kMainWindowClass, nullptr);
                if (window)
                    windowAt = Now() - start;
            }
            if (window && IsPainted(window)) {
                paintedAt = Now() - start;
                break;
            }
            Sleep(1);
        }
        ScopedKernelHandle processThread(process.hThread);
        ScopedKernelHandle processHandle(process.hProcess);
        if (window)
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(processHandle.Get(), 10000) != WAIT_OBJECT_0)
            TerminateProcess(processHandle.Get(), 1);
        if (paintedAt == 0.0)
            return 1;
        Report("startup_window", windowAt);
        Report("startup_first_paint", paintedAt);
        // Let the launcher's process end and its music file go before the next start.
        Sleep(300);
    }
    return 0;
}

int BenchProcessStart(const std::wstring& self, int runs) {
    for (int run = 0; run < runs; ++run) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = L"\"" + self + L"\" noop";
        const double start = Now();
        if (!CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return 1;
        ScopedKernelHandle processThread(process.hThread);
        ScopedKernelHandle processHandle(process.hProcess);
        WaitForSingleObject(processHandle.Get(), INFINITE);
        Report("process_start_exit", Now() - start);
    }
    return 0;
}

// Up to `length` bytes at `offset`, as a patch reads its old file: ReadFile at an offset.
size_t ReadFileAt(HANDLE file, uint64_t offset, uint8_t* into, size_t length) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, into, static_cast<DWORD>(length), &read, &at))
        return 0;
    return read;
}

bool ReadWholeFile(const std::wstring& path, std::string* text) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const uint64_t length = LengthOf(path);
    if (!file.IsValid() || length > (64u << 20))
        return false;
    text->resize(static_cast<size_t>(length));
    return length == 0 || ReadFileAt(file.Get(), 0, reinterpret_cast<uint8_t*>(&(*text)[0]), text->size()) == length;
}

// One search of `oldPath` for the blocks of `map`, the file opened as a patch opens it. The blocks
// found are counted and not written anywhere: the figure is the search's own. False when it
// failed; `*held` the bytes found, `*missing` those a patch would still fetch.
bool SearchOldFile(const std::wstring& oldPath, const BlockMap& map, uint64_t* held, uint64_t* missing) {
    ScopedFile old(CreateFileW(oldPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER length = {};
    if (!old.IsValid() || !GetFileSizeEx(old.Get(), &length))
        return false;
    *held = 0;
    BlockSearchIo io;
    io.read = [&old](uint64_t offset, uint8_t* into, size_t count) {
        return ReadFileAt(old.Get(), offset, into, count);
    };
    io.onHeld = [held](size_t, const uint8_t*, size_t count) {
        *held += count;
        return true;
    };
    std::vector<int64_t> sources;
    if (!SearchHeldBlocks(map, static_cast<uint64_t>(length.QuadPart), io, &sources))
        return false;
    *missing = SpanBytes(MissingSpans(map, sources));
    return true;
}

// The search of a patch against the digest of the same file, both over a file already in the
// page cache (a first digest, not reported, reads it in), alternating run by run.
int BenchSearch(const std::wstring& oldPath, const std::wstring& mapPath, int runs) {
    std::string text;
    BlockMap map;
    if (!ReadWholeFile(mapPath, &text) || !ParseBlockMap(text, &map)) {
        std::fprintf(stderr, "bench_win search: the map cannot be read\n");
        return 1;
    }
    if (ComputeFileMd5(oldPath).empty())
        return 1;
    for (int run = 0; run < runs; ++run) {
        double start = Now();
        const std::string digest = ComputeFileMd5(oldPath);
        Report("search_md5", Now() - start);
        uint64_t held = 0;
        uint64_t missing = 0;
        start = Now();
        const bool searched = SearchOldFile(oldPath, map, &held, &missing);
        Report("search", Now() - start);
        if (digest.empty() || !searched)
            return 1;
        Report("search_held_bytes", static_cast<double>(held));
        Report("search_missing_bytes", static_cast<double>(missing));
    }
    return 0;
}

// For each block size and strong digest length, a map of NEW made as the operators' tool makes
// one (all of them in one read of NEW) and the search of OLD with it: the map's bytes and the
// bytes of the ranges a patch would still fetch.
int BenchStudy(const std::wstring& oldPath, const std::wstring& newPath, const std::string& label) {
    const uint32_t blockSizes[] = {4096, 8192, 16384};
    const uint32_t strongLengths[] = {4, 8, 16};
    const uint64_t length = LengthOf(newPath);
    std::vector<std::unique_ptr<BlockMapMaker>> makers;
    for (uint32_t blockSize : blockSizes)
        for (uint32_t strongBytes : strongLengths)
            makers.emplace_back(new BlockMapMaker(length, blockSize, strongBytes));
    ScopedFile file(CreateFileW(newPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid())
        return 1;
    std::vector<uint8_t> block(1 << 20);
    uint64_t offset = 0;
    for (size_t read; (read = ReadFileAt(file.Get(), offset, block.data(), block.size())) > 0; offset += read)
        for (auto& maker : makers)
            maker->Feed(block.data(), read);
    for (const auto& maker : makers) {
        BlockMap map;
        BlockMap parsed;
        // The map as the launcher would read it from the server.
        if (!maker->Finish(&map) || !ParseBlockMap(FormatBlockMap(map), &parsed)) {
            std::fprintf(stderr, "bench_win study: no map for block size %u\n", maker->made.blockSize);
            return 1;
        }
        uint64_t held = 0;
        uint64_t missing = 0;
        if (!SearchOldFile(oldPath, parsed, &held, &missing))
            return 1;
        const std::string name =
            "study_" + label + "_" + std::to_string(map.blockSize / 1024) + "k_s" + std::to_string(map.strongBytes);
        Report((name + "_map").c_str(), static_cast<double>(FormatBlockMap(map).size()));
        Report((name + "_missing").c_str(), static_cast<double>(missing));
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_win md5|update|download|rawdownload|downloadlist|rawdownloadlist|bareloop|perfile|"
                 "paint|startup|processstart|search|study|noop ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "noop")
        return 0;
    if (command == "md5" && argc == 4)
        return BenchMd5(Widen(argv[2]), std::atoi(argv[3]));
    if (command == "update" && argc == 5)
        return BenchUpdate(Widen(argv[2]), argv[3], std::atoi(argv[4]));
    if (command == "download" && argc == 6)
        return BenchDownload(argv[2], Widen(argv[3]), argv[4], std::atoi(argv[5]));
    if (command == "resume" && argc == 6)
        return BenchResume(argv[2], Widen(argv[3]), argv[4], std::atoi(argv[5]));
    if (command == "rawdownload" && argc == 7)
        return BenchRawDownload(argv[2], Widen(argv[3]), std::atoi(argv[4]), static_cast<DWORD>(std::atoi(argv[5])),
                                std::string(argv[6]) == "available");
    if (command == "downloadlist" && argc == 6)
        return BenchDownloadList(argv[2], argv[3], Widen(argv[4]), std::atoi(argv[5]));
    if (command == "rawdownloadlist" && argc == 6)
        return BenchRawDownloadList(argv[2], argv[3], Widen(argv[4]), std::atoi(argv[5]));
    if (command == "bareloop" && argc == 5)
        return BenchBareLoop(argv[2], Widen(argv[3]), std::atoi(argv[4]));
    if (command == "perfile" && argc == 4)
        return BenchPerFile(argv[2], Widen(argv[3]));
    if (command == "paint" && argc == 3)
        return BenchPaint(std::atoi(argv[2]));
    if (command == "startup" && argc == 4)
        return BenchStartup(Widen(argv[2]), std::atoi(argv[3]));
    if (command == "search" && argc == 5)
        return BenchSearch(Widen(argv[2]), Widen(argv[3]), std::atoi(argv[4]));
    if (command == "study" && argc == 5)
        return BenchStudy(Widen(argv[2]), Widen(argv[3]), argv[4]);
    if (command == "processstart" && argc == 3) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        return BenchProcessStart(self, std::atoi(argv[2]));
    }
    return Usage();
}
