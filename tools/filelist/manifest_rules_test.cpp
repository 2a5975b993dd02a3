#include "tools/filelist/manifest_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kDigestA = "0cc175b9c0f1b6a831c399e269772661";
const std::string kDigestB = "92eb5ffee6ae2fec3ad71c777531578f";

std::string Line(const std::string& path, const std::string& md5) {
    return path + "|" + md5 + "\n";
}

// "line: fragment" for each finding, so a table can name what it expects.
std::vector<std::pair<size_t, std::string>> FindingsOf(const std::string& text) {
    std::vector<std::pair<size_t, std::string>> found;
    for (const ManifestFinding& finding : LintManifest(text).findings)
        found.push_back({finding.lineNumber, finding.message});
    return found;
}

TEST(ManifestLint, ReportsEachProblemOnItsLine) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::pair<size_t, std::string>> expected;  // line, start of the message
    } cases[] = {
        {"clean", Line("system/l2.ini", kDigestA) + Line("system/b.dat", kDigestB), {}},
        {"crlf line ends are fine", "a.txt|" + kDigestA + "\r\nb.txt|" + kDigestB + "\r\n", {}},
        {"last line without line feed is fine", "a.txt|" + kDigestA, {}},
        {"blank lines are skipped quietly", "\n\r\n" + Line("a.txt", kDigestA) + "\n", {}},
        {"no separator", Line("a.txt", kDigestA) + "readme.txt\n", {{2, "line without a '|' separator"}}},
        {"html error page", "<html>\n", {{1, "line without a '|' separator"}}},
        {"upper case digest", Line("a.txt", "0CC175B9C0F1B6A831C399E269772661"), {{1, "digest in upper case"}}},
        {"short digest", Line("a.txt", kDigestA.substr(1)), {{1, "digest has 31 characters, not 32"}}},
        {"empty digest", Line("a.txt", ""), {{1, "empty digest"}}},
        {"non-hex digest", Line("a.txt", "g" + kDigestA.substr(1)), {{1, "digest holds characters other than"}}},
        {"second bar", Line("a.txt", kDigestA + "|x"), {{1, "digest has 34 characters"}}},
        {"space after bar", Line("a.txt", " " + kDigestA), {{1, "spaces around the digest"}}},
        {"tab at end", Line("a.txt", kDigestA + "\t"), {{1, "spaces around the digest"}}},
        {"space before path", Line(" a.txt", kDigestA), {{1, "spaces around the path"}}},
        {"carriage return only",
         "a.txt|" + kDigestA + "\rb.txt|" + kDigestB + "\r",
         {{1, "carriage return without a line feed"}, {1, "digest has 71 characters"}}},
        {"two carriage returns",
         "a.txt|" + kDigestA + "\r\r\n",
         {{1, "carriage return without a line feed"}, {1, "digest has 33 characters"}}},
        {"byte-order mark", "\xEF\xBB\xBF" + Line("a.txt", kDigestA), {{1, "starts with a byte-order mark"}}},
        {"listed twice",
         Line("a.txt", kDigestA) + Line("b.txt", kDigestB) + Line("a.txt", kDigestA),
         {{3, "listed again (first on line 1)"}}},
        {"differs only in case",
         Line("System/A.txt", kDigestA) + Line("system/a.txt", kDigestA),
         {{2, "same file on Windows as line 1"}}},
        {"parent folder", Line("../evil.exe", kDigestA), {{1, "refused path: the launcher refuses it"}}},
        {"leading slash", Line("/etc/passwd", kDigestA), {{1, "refused path: the launcher refuses it"}}},
        {"drive letter", Line("c:/windows/x.dll", kDigestA), {{1, "refused path: the launcher refuses it"}}},
        {"device name", Line("system/con.txt", kDigestA), {{1, "refused path: the launcher refuses it"}}},
        {"backslash", Line("system\\l2.ini", kDigestA), {{1, "refused path: holds a backslash"}}},
        {"empty path", Line("", kDigestA), {{1, "refused path: empty path"}}},
        {"utf-8 name", Line("caf\xC3\xA9.txt", kDigestA), {{1, "refused path: holds a byte above 0x7F"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto found = FindingsOf(c.text);
        ASSERT_EQ(found.size(), c.expected.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].first, c.expected[i].first);
            EXPECT_EQ(found[i].second.rfind(c.expected[i].second, 0), 0u) << found[i].second;
        }
    }
}

TEST(ManifestLint, EntriesAreTheParsersWithBlanksAndByteOrderMarkTakenOff) {
    const std::string text = "\xEF\xBB\xBF" + Line("a.txt", kDigestA) + "junk\n" + Line(" b.txt ", "\t" + kDigestB);
    const ManifestLint lint = LintManifest(text);
    ASSERT_EQ(lint.entries.size(), 2u);
    EXPECT_EQ(lint.entries[0].lineNumber, 1u);
    EXPECT_EQ(lint.entries[0].entry.path, "a.txt");
    EXPECT_EQ(lint.entries[1].lineNumber, 3u);
    EXPECT_EQ(lint.entries[1].entry.path, "b.txt");
    EXPECT_EQ(lint.entries[1].entry.md5, kDigestB);

    // Untouched lines come out exactly as the launcher's parser reads them.
    const std::string plain = Line("x|y", "z") + "q\r\n" + Line("c.txt", kDigestA);
    const std::vector<FileListEntry> parsed = ParseFileList(plain);
    const ManifestLint plainLint = LintManifest(plain);
    ASSERT_EQ(plainLint.entries.size(), parsed.size());
    for (size_t i = 0; i < parsed.size(); ++i) {
        EXPECT_EQ(plainLint.entries[i].entry.path, parsed[i].path);
        EXPECT_EQ(plainLint.entries[i].entry.md5, parsed[i].md5);
    }
}

TEST(DescribeRefusedPath, AcceptsOrdinaryNamesAndNamesTheReasonOtherwise) {
    const struct {
        std::string path;
        std::string reasonStart;  // empty: accepted
    } cases[] = {
        {"system/l2.ini", ""},
        {"a/b/c/d.txt", ""},
        {"console.txt", ""},
        {"com10.dat", ""},
        {"lpt.txt", ""},
        {"a..b/c", ""},
        {".hidden", ""},
        {"", "empty path"},
        {"a|b", "holds '|'"},
        {"tab\there", "holds a control character"},
        {std::string("nul\0byte", 8), "holds a control character"},
        {"del\x7F", "holds a control character"},
        {"caf\xC3\xA9", "holds a byte above 0x7F"},
        {"a\\b", "holds a backslash"},
        {"what?.txt", "holds a character Windows does not allow"},
        {"star*.txt", "holds a character Windows does not allow"},
        {"quote\".txt", "holds a character Windows does not allow"},
        {"/abs", "the launcher refuses it"},
        {"c:x", "the launcher refuses it"},
        {"a/../../b", "the launcher refuses it"},
        {"..", "the launcher refuses it"},
        {"CON", "the launcher refuses it"},
        {"prn.txt", "the launcher refuses it"},
        {"system/Aux.log", "the launcher refuses it"},
        {"nul", "the launcher refuses it"},
        {"COM1", "the launcher refuses it"},
        {"lpt9.txt", "the launcher refuses it"},
        {"a//b", "an empty or '.' folder name"},
        {"a/./b", "an empty or '.' folder name"},
        {"folder/", "an empty or '.' folder name"},
        {"name.", "a name ending in a space or a dot"},
        {"dir /x", "a name ending in a space or a dot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(EscapeForDisplay(c.path));
        const std::string reason = DescribeRefusedPath(c.path);
        if (c.reasonStart.empty())
            EXPECT_EQ(reason, "");
        else
            EXPECT_EQ(reason.rfind(c.reasonStart, 0), 0u) << reason;
    }
}

TEST(IsWellFormedDigest, OnlyThirtyTwoLowerCaseHexDigits) {
    EXPECT_TRUE(IsWellFormedDigest(kDigestA));
    EXPECT_TRUE(IsWellFormedDigest("0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(IsWellFormedDigest("0123456789ABCDEF0123456789abcdef"));
    EXPECT_FALSE(IsWellFormedDigest(kDigestA + "0"));
    EXPECT_FALSE(IsWellFormedDigest(kDigestA.substr(1)));
    EXPECT_FALSE(IsWellFormedDigest(""));
    EXPECT_FALSE(IsWellFormedDigest(kDigestA.substr(1) + "g"));
}

TEST(FormatManifest, SortsByPathBytesAndWritesPlainLfLines) {
    const std::string text = FormatManifest(
        {{"system/l2.ini", kDigestA}, {"Zeta.dat", kDigestB}, {"a.dat", kDigestA}, {"system/a.dat", kDigestB}});
    EXPECT_EQ(text, Line("Zeta.dat", kDigestB) + Line("a.dat", kDigestA) + Line("system/a.dat", kDigestB) +
                        Line("system/l2.ini", kDigestA));
    EXPECT_TRUE(LintManifest(text).findings.empty());
    const std::vector<FileListEntry> parsed = ParseFileList(text);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[3].path, "system/l2.ini");
    EXPECT_EQ(parsed[3].md5, kDigestA);
    EXPECT_EQ(FormatManifest({}), "");
}

TEST(EscapeForDisplay, ShowsControlAndHighBytesAsHex) {
    EXPECT_EQ(EscapeForDisplay("system/l2.ini"), "system/l2.ini");
    EXPECT_EQ(EscapeForDisplay("a\r\n\x1B\x7F\xC3\xA9"), "a\\x0D\\x0A\\x1B\\x7F\\xC3\\xA9");
}

TEST(FoldLetterCase, LowersAsciiLettersOnly) {
    EXPECT_EQ(FoldLetterCase("System/L2.INI"), "system/l2.ini");
    EXPECT_EQ(FoldLetterCase("\xC3\x89"), "\xC3\x89");
}

}  // namespace
