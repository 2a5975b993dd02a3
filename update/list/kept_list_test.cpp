#include "update/list/kept_list.h"

#include <gtest/gtest.h>

TEST(KeptListFolderName, OneNameForEverySpellingOfAFolder) {
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
    } cases[] = {{L"C:\\Games\\L2", L"333f1e664a14008f"},
                 {L"c:/games/l2", L"333f1e664a14008f"},
                 {L"C:\\\\Games//L2\\", L"333f1e664a14008f"},
                 {L"D:\\Games\\L2", L"d21f99064d5eee60"},
                 // Past U+FFFF: its surrogate pair, as Windows holds it.
                 {L"C:\\Spiele\\\U0001F3AE", L"f6182ec13ba750ed"}};
    for (const auto& c : cases)
        EXPECT_EQ(KeptListFolderName(c.folder), c.name) << c.folder;
}

TEST(KeptListRecord, ReadsOnlyItsOwnForm) {
    const std::string md5 = "900150983cd24fb0d6963f7d28e17f72";
    const std::string list = "\nlist " + md5 + "\n";
    const std::string text = "root https://h:8443\nvalidator \"5f3a\"" + list + "signature " + md5 + "\n";
    KeptRecord record;
    ASSERT_TRUE(ParseKeptRecord(text, &record));
    EXPECT_EQ(record.root + "|" + record.validator + "|" + record.listMd5 + "|" + record.signatureMd5,
              "https://h:8443|\"5f3a\"|" + md5 + "|" + md5);
    EXPECT_EQ(FormatKeptRecord(record), text);
    EXPECT_EQ(FormatKeptRecord({"https://h", "Tue, 08 Dec 2026 10:00:00 GMT", md5, ""}),
              "root https://h\nvalidator Tue, 08 Dec 2026 10:00:00 GMT" + list);
    // A record that would not read back is not written.
    EXPECT_EQ(FormatKeptRecord({"https://h", "W/\"e\"", md5, ""}), "");
    const auto lines = [&](const std::string& root, const std::string& validator) {
        return "root " + root + "\nvalidator " + validator + list;
    };
    const std::string good = lines("https://h", "\"e\"");
    KeptRecord other;
    EXPECT_TRUE(ParseKeptRecord(good, &other));
    // The root as the run asked it, a path below the host included.
    EXPECT_TRUE(ParseKeptRecord(lines("https://h/updater/test-1", "\"e\""), &other));
    for (const std::string& bad :
         {std::string(), good.substr(0, good.size() - 1), lines("http://h", "\"e\""), lines("https://", "\"e\""),
          lines("https://h\u00e9", "\"e\""), lines("https://h x", "\"e\""), lines("https://h", "W/\"e\""),
          lines("https://h", ""), lines("https://h", " \"e\""), lines("https://h", "\"a\rb\""), good + "more\n",
          good + "signature abc\n", good + "signature " + md5 + "\nmore\n", "validator \"e\"\nroot https://h" + list,
          std::string("root https://h\nvalidator \"e\"\nlist 900150983CD24FB0D6963F7D28E17F72\n")})
        EXPECT_FALSE(ParseKeptRecord(bad, &record)) << bad;
    EXPECT_EQ(record.root, "https://h:8443");
}

TEST(KeptListSequence, ADecimalOnALineOfItsOwn) {
    EXPECT_EQ(FormatAcceptedSequence(42), "sequence 42\n");
    const struct {
        const char* text;
        uint64_t value;  // 7: refused, left as it was
    } cases[] = {{"sequence 0\n", 0},
                 {"sequence 18446744073709551615\n", 18446744073709551615ull},
                 {"sequence 18446744073709551616\n", 7},
                 {"sequence 042\n", 7},
                 {"sequence 42", 7},
                 {"sequence  42\n", 7},
                 {"sequence 4x\n", 7},
                 {"sequence \n", 7},
                 {"sequence 42\n\n", 7}};
    for (const auto& c : cases) {
        uint64_t value = 7;
        EXPECT_EQ(ParseAcceptedSequence(c.text, &value), c.value != 7) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}
