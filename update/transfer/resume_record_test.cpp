#include "update/transfer/resume_record.h"

#include <gtest/gtest.h>

#include "update/transfer/http_response.h"

TEST(ResumeRecord, ReadsOnlyItsOwnFormAndKeepsStrongValidators) {
    ResumeRecord record;
    ASSERT_TRUE(ParseResumeRecord("validator \"5f3a-1000\"\nbytes 600000\n", &record));
    EXPECT_EQ(record.validator, "\"5f3a-1000\"");
    EXPECT_EQ(record.bytes, 600000u);
    EXPECT_EQ(FormatResumeRecord({"Tue, 08 Dec 2026 10:00:00 GMT", 42}),
              "validator Tue, 08 Dec 2026 10:00:00 GMT\nbytes 42\n");
    // Under way: as long as the temporary file is.
    ASSERT_TRUE(ParseResumeRecord(FormatResumeRecord({"\"e\"", 0}), &record));
    EXPECT_EQ(record.bytes, 0u);
    for (const char* bad : {"", "validator \"x\"\nbytes 0\n", "validator \"x\"\nbytes 12", "validator \nbytes 5\n",
                            "validator \"x\"\nbytes 5\nmore\n", "validator \"a\rb\"\nbytes 5\n",
                            "bytes 5\nvalidator \"x\"\n", "validator \"x\"\nbytes -5\n", "validator \"x\"\nbytes  5\n"})
        EXPECT_FALSE(ParseResumeRecord(bad, &record)) << bad;

    EXPECT_EQ(ChooseValidator("\"abc\"", "Tue, 08 Dec 2026 10:00:00 GMT"), "\"abc\"");
    EXPECT_EQ(ChooseValidator("W/\"abc\"", "Tue, 08 Dec 2026 10:00:00 GMT"), "Tue, 08 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(ChooseValidator("W/\"abc\"", ""), "");
    EXPECT_EQ(ChooseValidator("\"a\nb\"", ""), "");
}

TEST(ContentRange, GivesTheFirstByteOfWellFormedRangesOnly) {
    const struct {
        const char* value;
        int64_t first;
    } cases[] = {{"bytes 600000-999999/1000000", 600000},
                 {"bytes 0-0/*", 0},
                 {"bytes 5-4/10", -1},
                 {"bytes */1000", -1},
                 {"bits 1-2/3", -1},
                 {"bytes 1-2", -1},
                 {"bytes -5/10", -1},
                 {"bytes 1 -2/3", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(ParseContentRangeStart(c.value), c.first) << c.value;
}
