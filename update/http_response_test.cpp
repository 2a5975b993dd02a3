#include "update/http_response.h"

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

}  // namespace
