#include "test_support_win.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "base/scoped_win.h"

namespace {

struct Fetched {
    DWORD error = 0;  // of the request, when no answer came
    DWORD status = 0;
    std::string body;
};

// One GET through WinInet with the launcher's user agent; `decode` lets WinInet undo a gzip body.
Fetched Fetch(const std::string& address, const char* headers, bool decode) {
    Fetched fetched;
    ScopedInternetHandle internet(InternetOpenA("VardenhalUpdater", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    BOOL on = decode;
    InternetSetOptionA(internet.Get(), INTERNET_OPTION_HTTP_DECODING, &on, sizeof(on));
    ScopedInternetHandle request(InternetOpenUrlA(internet.Get(), address.c_str(), headers, headers ? -1L : 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request.IsValid()) {
        fetched.error = GetLastError();
        return fetched;
    }
    DWORD size = sizeof(fetched.status);
    HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &fetched.status, &size, nullptr);
    char block[4096];
    DWORD got = 0;
    while (InternetReadFile(request.Get(), block, sizeof(block), &got) && got > 0)
        fetched.body.append(block, got);
    return fetched;
}

// The mirror serves its own folder (FILE.gz to a client that takes gzip) and logs in its own file;
// the main server does not have the mirror's files, and at the down root nothing answers.
TEST(TestServers, TheMirrorServesItsOwnFolderAndNothingAnswersAtTheDownRoot) {
    if (TestServerRoot().empty() || TestMirrorRoot().empty() || TestMirrorFolder().empty() || TestDownRoot().empty())
        GTEST_SKIP() << "no mirror (VARDENHAL_TEST_MIRROR, VARDENHAL_TEST_MIRROR_DIR, VARDENHAL_TEST_DOWN_ROOT)";
    const std::string name = "mirror-" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::wstring served = TestMirrorFolder() + L"\\" + Widen(name);
    const std::string gzipped(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xcb\xcd\x2c\x2a\xca\x2f\xe2\x02\x00\x06\x09\x85"
        "\xa4\x07\x00\x00\x00",
        27);  // "mirror\n"
    WriteBytes(served, "mirror\n");
    WriteBytes(served + L".gz", gzipped);
    const size_t serverLogged = TestServerLogSince().size();
    const size_t mirrorLogged = TestMirrorLogSince().size();
    const struct {
        std::string root;
        const char* headers;
        bool decode;
        DWORD error;
        DWORD status;
        std::string body;
    } cases[] = {
        {TestMirrorRoot(), nullptr, false, 0, 200, "mirror\n"},
        {TestMirrorRoot(), "Accept-Encoding: gzip\r\n", false, 0, 200, gzipped},
        {TestMirrorRoot(), "Accept-Encoding: gzip\r\n", true, 0, 200, "mirror\n"},
        {TestServerRoot(), nullptr, false, 0, 404,
         "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
         "</body></html>\n"},
        {TestDownRoot(), nullptr, false, ERROR_INTERNET_CANNOT_CONNECT, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root + (c.headers ? " with gzip" : "") + (c.decode ? ", decoded" : ""));
        const Fetched fetched = Fetch(c.root + "/updater/" + name, c.headers, c.decode);
        EXPECT_EQ(fetched.error, c.error);
        EXPECT_EQ(fetched.status, c.status);
        EXPECT_TRUE(fetched.body == c.body) << fetched.body.size() << " bytes";
    }
    if (HasTestMirrorLog() && HasTestServerLog()) {
        const std::string mirrored = TestMirrorLogSince(mirrorLogged);
        EXPECT_EQ(CountOccurrences(mirrored, "/updater/" + name + " VardenhalUpdater https"), 3u) << mirrored;
        EXPECT_EQ(CountOccurrences(mirrored, " accept-encoding=gzip status=200\n"), 2u) << mirrored;
        EXPECT_EQ(CountOccurrences(TestServerLogSince(serverLogged), "/updater/" + name + " "), 1u);
    }
    DeleteFileW(served.c_str());
    DeleteFileW((served + L".gz").c_str());
}

}  // namespace
