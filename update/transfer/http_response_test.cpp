#include "update/transfer/http_response.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpResponse, OnlyStatus200IsUsable) {
    EXPECT_TRUE(IsUsableStatus(200));
    for (unsigned long status : {0ul, 204ul, 206ul, 301ul, 302ul, 304ul, 403ul, 404ul, 500ul, 503ul})
        EXPECT_FALSE(IsUsableStatus(status)) << status;
}

TEST(HttpResponse, ParseContentLength) {
    EXPECT_EQ(ParseContentLength("0"), 0);
    EXPECT_EQ(ParseContentLength("406823"), 406823);
    EXPECT_EQ(ParseContentLength(" 17 "), 17);
    EXPECT_EQ(ParseContentLength("5368709120"), 5368709120LL);  // above 4 GiB
    EXPECT_EQ(ParseContentLength("9223372036854775807"), -1);
    EXPECT_EQ(ParseContentLength(""), -1);
    EXPECT_EQ(ParseContentLength("  "), -1);
    EXPECT_EQ(ParseContentLength("-1"), -1);
    EXPECT_EQ(ParseContentLength("12a"), -1);
    EXPECT_EQ(ParseContentLength("1 2"), -1);
}

TEST(HttpResponse, BodyIsCompleteOnlyWithoutReadFailureAndAtTheAnnouncedLength) {
    EXPECT_TRUE(IsCompleteBody(false, 10, 10));
    EXPECT_TRUE(IsCompleteBody(false, -1, 123));  // no length announced
    EXPECT_TRUE(IsCompleteBody(false, 0, 0));
    EXPECT_FALSE(IsCompleteBody(false, 10, 5));
    EXPECT_FALSE(IsCompleteBody(false, 10, 11));
    EXPECT_FALSE(IsCompleteBody(true, 10, 10));
    EXPECT_FALSE(IsCompleteBody(true, -1, 0));
}

TEST(HttpResponse, RedirectsResolveAgainstTheAnsweringAddressAndStayOnHttps) {
    for (unsigned long status : {301ul, 302ul, 303ul, 307ul, 308ul})
        EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (unsigned long status : {200ul, 300ul, 304ul, 305ul, 404ul})
        EXPECT_FALSE(IsRedirectStatus(status)) << status;

    const char kFrom[] = "https://a.test:8443/updater/sub/filelist.txt?x=1";
    const struct {
        const char* location;
        const char* resolved;
        bool secure;
    } cases[] = {
        {"https://b.test/updater/filelist.txt", "https://b.test/updater/filelist.txt", true},
        {"HTTPS://b.test/f", "HTTPS://b.test/f", true},
        {"http://a.test:8080/updater/filelist.txt", "http://a.test:8080/updater/filelist.txt", false},
        {"//c.test/f", "https://c.test/f", true},
        {"/other/f.txt", "https://a.test:8443/other/f.txt", true},
        {"f2.txt", "https://a.test:8443/updater/sub/f2.txt", true},
        {"ftp://a.test/f", "ftp://a.test/f", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveRedirect(kFrom, c.location), c.resolved) << c.location;
        EXPECT_EQ(IsSecureAddress(ResolveRedirect(kFrom, c.location)), c.secure) << c.location;
    }
    EXPECT_EQ(ResolveRedirect("https://a.test", "f"), "https://a.test/f");
    EXPECT_FALSE(IsSecureAddress("https:/"));
}

TEST(RequestHeaders, ARangeOnlyWithItsVersionAndAnUnchangedListByETagOrDate) {
    EXPECT_EQ(BuildRequestHeaders(0, "", "", false), "");
    EXPECT_EQ(BuildRequestHeaders(600000, "\"5f3a\"", "", false), "Range: bytes=600000-\r\nIf-Range: \"5f3a\"\r\n");
    EXPECT_EQ(BuildRequestHeaders(600000, "", "", false), "");
    EXPECT_EQ(BuildRequestHeaders(0, "", "\"5f3a-gz\"", true),
              "If-None-Match: \"5f3a-gz\"\r\nAccept-Encoding: gzip\r\n");
    EXPECT_EQ(BuildRequestHeaders(0, "", "Tue, 08 Dec 2026 10:00:00 GMT", false),
              "If-Modified-Since: Tue, 08 Dec 2026 10:00:00 GMT\r\n");
}

TEST(RequestHeaders, APartOfAFileIsAskedForAndTakenOnlyAsExactlyThoseBytes) {
    EXPECT_EQ(BuildSpanHeader(0, 1), "Range: bytes=0-0\r\n");
    EXPECT_EQ(BuildSpanHeader(4096, 8192), "Range: bytes=4096-12287\r\n");
    EXPECT_EQ(BuildSpanHeader(1ull << 32, 1), "Range: bytes=4294967296-4294967296\r\n");
    EXPECT_EQ(BuildSpanHeader((1ull << 31) - 1, (1ull << 32) + 2), "Range: bytes=2147483647-6442450944\r\n");
    const uint64_t first = (1ull << 32) + 4096;
    EXPECT_TRUE(IsSpanAnswer(first, 8192, 206, static_cast<int64_t>(first), 8192));
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 200, -1, 8192)) << "the whole file";
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 206, static_cast<int64_t>(first) - 4096, 8192)) << "from elsewhere";
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 206, 4096, 8192)) << "the offset cut to 32 bits";
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 206, static_cast<int64_t>(first), 4096)) << "a shorter part";
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 206, static_cast<int64_t>(first), -1)) << "no length";
    EXPECT_FALSE(IsSpanAnswer(first, 8192, 206, -1, 8192)) << "no Content-Range";
}

TEST(HttpResponse, AListComesPlainOrInGzipOnlyAsItsHeaderLinesSay) {
    const std::string lines =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\ncontent-encoding:  br \r\nX-Content-Encoding: gzip\r\n"
        "Content-Encoding: gzip\r\n\r\n";
    EXPECT_EQ(HeaderValue(lines, "Content-Encoding"), "br, gzip");
    EXPECT_EQ(HeaderValue(lines, "content-type"), "text/plain");
    EXPECT_EQ(HeaderValue("HTTP/1.1 200 OK\nETag: \"a:b\"\n", "ETag"), "\"a:b\"");
    EXPECT_EQ(HeaderValue(lines, "Content-Length"), "");
    for (const char* coding : {"", " ", "gzip", "GZip", " gzip ", "identity"})
        EXPECT_TRUE(IsListCodingAccepted(coding)) << coding;
    for (const char* coding : {"br", "deflate", "x-gzip", "gzip, br", "compress", "zstd", "gzip;q=1"})
        EXPECT_FALSE(IsListCodingAccepted(coding)) << coding;
}

}  // namespace
