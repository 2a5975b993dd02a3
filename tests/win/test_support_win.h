// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Value of an environment variable, or empty.
std::string EnvironmentValue(const char* name);

// A Unix path as Wine sees it (drive Z: is the Unix root).
std::wstring WinePathFromUnix(const std::string& unixPath);

// Address of the local HTTPS update server ("https://localhost:PORT"), from VARDENHAL_TEST_SERVER,
// and the folder it serves under /updater/, from VARDENHAL_TEST_SERVER_DIR. Empty when not set.
std::string TestServerRoot();
std::wstring TestServerFolder();

// The local server's request log, one line a request (VARDENHAL_TEST_SERVER_LOG): whether there is
// one, and what it holds past `offset` bytes (its length when read earlier).
bool HasTestServerLog();
std::string TestServerLogSince(size_t offset = 0);
// The mirror, a second local server over a folder of its own: its address (VARDENHAL_TEST_MIRROR),
// the folder it serves under /updater/ (VARDENHAL_TEST_MIRROR_DIR) and what its own request log
// (VARDENHAL_TEST_MIRROR_LOG) holds past `offset` bytes. Empty when not set.
std::string TestMirrorRoot();
std::wstring TestMirrorFolder();
bool HasTestMirrorLog();
std::string TestMirrorLogSince(size_t offset = 0);
// "https://localhost:PORT" where nothing listens while the tests run (VARDENHAL_TEST_DOWN_ROOT).
std::string TestDownRoot();
// Waits until the local server's log holds `part` `count` times past `offset`; false after 30 s.
// A test holds the server this way instead of guessing how long the client takes.
bool WaitForLogged(const std::string& part, size_t offset, size_t count = 1);
// Lets go of a served file held by a "gate:" or "hold=N" fault (`served` is its path).
void ReleaseServedFile(const std::wstring& served);
// How many times `part` occurs in `text`.
size_t CountOccurrences(const std::string& text, const std::string& part);

// What this process holds now: its threads, its kernel handles (under Wine, which counts none, the
// descriptors its Unix process has open) and its private bytes.
struct ProcessHoldings {
    size_t threads = 0;
    size_t handles = 0;
    size_t privateBytes = 0;
};
ProcessHoldings HoldingsOfThisProcess();

// While it lives, counts the opens for reading (CreateFileW asking for GENERIC_READ or
// FILE_READ_DATA) that this program's own code makes of the files at `paths`, in any spelling, on
// any thread, the test's own reads among them. It swaps CreateFileW in the program's import table: IsHooked() is false when that
// could not be done, and a test that relies on it should fail then.
class ReadOpenCounter {
public:
    explicit ReadOpenCounter(const std::vector<std::wstring>& paths);
    ~ReadOpenCounter();
    ReadOpenCounter(const ReadOpenCounter&) = delete;
    ReadOpenCounter& operator=(const ReadOpenCounter&) = delete;
    bool IsHooked() const { return slot_ != nullptr; }
    long Count() const;

private:
    void** slot_ = nullptr;
};

// A fresh, empty folder under the temporary folder, removed with its content by the destructor.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole content of a file; `ok` false when it cannot be read.
std::string ReadBytes(const std::wstring& path, bool* ok = nullptr);
bool PathExists(const std::wstring& path);
// The file's length in bytes, 0 when it cannot be asked.
uint64_t LengthOf(const std::wstring& path);
bool IsFolder(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::wstring Widen(const std::string& ascii);

// A top-down 32-bit DIB section selected into a memory DC and filled with `fill`: a surface any
// drawing code can paint into, whose pixels read back as COLORREF values (red in the low byte).
class DibCanvas {
public:
    DibCanvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC Dc() const { return dc_; }
    bool IsValid() const { return dc_ && bitmap_ && bits_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF Pixel(int x, int y) const;

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const uint32_t* bits_ = nullptr;
};
