#include "update/local/digest_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr uint64_t kSecond = kFileTimeTicksPerSecond;
constexpr uint64_t kDay = 24 * 3600 * kSecond;
// 2026-12-10 as a file time, near enough.
constexpr uint64_t kNow = 13412000000ull * kSecond;

RecordedDigest Recorded() {
    RecordedDigest recorded;
    recorded.state = {4096, kNow - 3600 * kSecond, kNow - 7200 * kSecond};
    recorded.md5 = "0123456789abcdef0123456789abcdef";
    recorded.readAt = kNow - 60 * kSecond;
    return recorded;
}

TEST(DigestRecordTrust, OnlyAnUnchangedFileWrittenWellBeforeItWasReadKeepsItsDigest) {
    const RecordedDigest recorded = Recorded();
    const FileState same = recorded.state;
    const struct {
        const char* name;
        FileState now;
        uint64_t readAt;
        bool trusted;
    } cases[] = {
        {"unchanged", same, recorded.readAt, true},
        {"another length", {same.length + 1, same.lastWrite, same.creation}, recorded.readAt, false},
        {"a shorter one", {0, same.lastWrite, same.creation}, recorded.readAt, false},
        {"written since", {same.length, same.lastWrite + 1, same.creation}, recorded.readAt, false},
        {"a write time put back", {same.length, same.lastWrite - 1, same.creation}, recorded.readAt, false},
        {"made again", {same.length, same.lastWrite, same.creation + 1}, recorded.readAt, false},
        // Written in the same tick as the read, or a second before it: a second write then would
        // not show in the times.
        {"read as it was written", same, same.lastWrite, false},
        {"read 1.9999999 s after the write", same, same.lastWrite + kUnsettledTicks - 1, false},
        {"read 2 s after the write", same, same.lastWrite + kUnsettledTicks, true},
        {"read before the write (a clock put back)", same, same.lastWrite - kSecond, false},
        {"never read", same, 0, false},
    };
    for (const auto& c : cases) {
        RecordedDigest at = recorded;
        at.readAt = c.readAt;
        EXPECT_EQ(TrustsRecordedDigest(at, c.now), c.trusted) << c.name;
    }
    // Near the ends of the range nothing wraps.
    RecordedDigest late = recorded;
    late.state.lastWrite = UINT64_MAX;
    late.readAt = 1;
    EXPECT_FALSE(TrustsRecordedDigest(late, late.state));
}

TEST(DigestRecordTrust, EveryFileIsReadAtTheFirstStartSevenDaysAfterTheLastFullCheck) {
    const uint64_t last = kNow - 3 * kDay;
    EXPECT_TRUE(IsFullCheckDue(0, kNow)) << "never checked whole";
    EXPECT_FALSE(IsFullCheckDue(last, last));
    EXPECT_FALSE(IsFullCheckDue(last, last + 7 * kDay - 1));
    EXPECT_TRUE(IsFullCheckDue(last, last + 7 * kDay));
    EXPECT_TRUE(IsFullCheckDue(last, last + 30 * kDay));
    EXPECT_TRUE(IsFullCheckDue(last, last - 1)) << "a clock that went back";
}

DigestRecord TwoFiles() {
    DigestRecord record;
    record.lastFullCheck = kNow - kDay;
    record.files["system/l2.ini"] = Recorded();
    RecordedDigest empty = Recorded();
    empty.state.length = 0;
    empty.md5 = "d41d8cd98f00b204e9800998ecf8427e";
    record.files["maps/a b.unr"] = empty;
    return record;
}

TEST(DigestRecordText, WhatIsWrittenReadsBackAndAnyDamageRefusesTheWhole) {
    const DigestRecord record = TwoFiles();
    const std::string text = FormatDigestRecord(record);
    DigestRecord read;
    ASSERT_TRUE(ParseDigestRecord(text, 2, &read)) << text;
    EXPECT_EQ(read, record);
    DigestRecord none;
    ASSERT_TRUE(ParseDigestRecord(FormatDigestRecord(none), 0, &read));
    EXPECT_EQ(read, none);

    const DigestRecord untouched = TwoFiles();
    const size_t firstFile = text.find('\n', text.find("full-check")) + 1;
    const struct {
        const char* name;
        std::string text;
    } refused[] = {
        {"empty", ""},
        {"one byte changed", std::string(text).replace(firstFile, 1, text[firstFile] == 'a' ? "b" : "a")},
        {"a line gone", text.substr(0, firstFile) + text.substr(text.find('\n', firstFile) + 1)},
        {"cut short", text.substr(0, text.size() - 1)},
        {"more after the check", text + "x\n"},
        {"another format", "vardenhal-digests 2" + text.substr(text.find('\n'))},
        {"no check line", text.substr(0, text.rfind("check "))},
    };
    for (const auto& r : refused) {
        read = untouched;
        EXPECT_FALSE(ParseDigestRecord(r.text, 2, &read)) << r.name;
        EXPECT_EQ(read, untouched) << r.name;
    }
}

// A record of one file whose line is swapped for `line`, sealed again as the writer seals: FNV-1a
// 64 of the bytes before the check line.
std::string ResealedWith(const std::string& line) {
    DigestRecord one;
    one.files["p"] = Recorded();
    std::string text = FormatDigestRecord(one);
    const size_t start = text.find('\n', text.find("full-check")) + 1;
    text.replace(start, text.find('\n', start) - start, line);
    const size_t checkAt = text.rfind("check ");
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < checkAt; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 0x100000001b3ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return text.substr(0, checkAt) + "check " + hex + "\n";
}

TEST(DigestRecordText, LinesOfAnotherShapeAreRefusedEvenUnderARightCheck) {
    const struct {
        const char* line;
        bool taken;
    } cases[] = {
        {"0123456789abcdef0123456789abcdef 1 2 3 4 a b.txt", true},
        {"0123456789abcdef0123456789abcdef 0 0 0 0 a", true},
        {"0123456789ABCDEF0123456789ABCDEF 1 2 3 4 a.txt", false},
        {"0123456789abcdef0123456789abcdef 01 2 3 4 a.txt", false},
        {"0123456789abcdef0123456789abcdef 1 2 3 a.txt", false},
        {"0123456789abcdef0123456789abcdef 1 2 3 4 ", false},
        {"0123456789abcdef0123456789abcdef 1 2 3 4  a.txt", false},
        {"0123456789abcdef0123456789abcdef 1 2 3 18446744073709551616 a.txt", false},
        {"0123456789abcdef0123456789abcdef 1 2 3 4 a\tb", false},
    };
    for (const auto& c : cases) {
        DigestRecord read;
        EXPECT_EQ(ParseDigestRecord(ResealedWith(c.line), 1, &read), c.taken) << c.line;
    }
}

TEST(DigestRecordText, ARecordOfMoreThan256BytesForEachListedEntryIsRefused) {
    DigestRecord record;
    for (int i = 0; i < 4; ++i)
        record.files["file" + std::to_string(i)] = Recorded();
    const std::string text = FormatDigestRecord(record);
    DigestRecord read;
    EXPECT_TRUE(ParseDigestRecord(text, 4, &read));
    // Fewer entries listed now: the same bytes may be too many.
    const size_t entriesThatFit = (text.size() + kMostRecordBytesPerEntry - 1) / kMostRecordBytesPerEntry;
    EXPECT_TRUE(ParseDigestRecord(text, entriesThatFit, &read));
    EXPECT_FALSE(ParseDigestRecord(text, entriesThatFit - 1, &read));
    EXPECT_FALSE(ParseDigestRecord(std::string(kMostRecordBytesPerEntry + 1, 'x'), 0, &read));
}

}  // namespace
