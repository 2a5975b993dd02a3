#include "update/list/manifest_signature.h"

#include <gtest/gtest.h>

TEST(Base64, DecodesOnlyStrictPaddedText) {
    const struct {
        const char* text;
        bool ok;
        const char* bytes;
    } cases[] = {
        {"", true, ""},      {"TWFu", true, "Man"},   {"TWE=", true, "Ma"}, {"TQ==", true, "M"},
        {"TQ=", false, ""},  {"TQ", false, ""},       {"T===", false, ""},  {"TR==", false, ""},  // stray bits
        {"TW=u", false, ""}, {"TWE=TWFu", false, ""}, {"TW\nu", false, ""}, {"TW-u", false, ""},
    };
    for (const auto& c : cases) {
        std::string bytes;
        EXPECT_EQ(DecodeBase64(c.text, &bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
    EXPECT_EQ(EncodeBase64("Man"), "TWFu");
    EXPECT_EQ(EncodeBase64(std::string("\xff\0", 2)), "/wA=");
}

TEST(ManifestSignature, ReadsTheKeyInItsFormOnly) {
    // A key printed by "openssl pkey -pubout": X starts ee4e33, Y ends e3ac.
    const std::string key =
        "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE7k4zh7wjNvJjoN5ak9jlY2PQqucnjtOb8AANCFuHGryeBA8Co+ZPPQQkKrS25uUZaoFQ8cjvp"
        "uX7m5KertrjrA==";
    std::string point;
    ASSERT_TRUE(ParseManifestPublicKey(key, &point));
    ASSERT_EQ(point.size(), 64u);
    EXPECT_EQ(point.substr(0, 3), "\xee\x4e\x33");
    EXPECT_EQ(point.substr(62), "\xe3\xac");
    EXPECT_EQ(FormatManifestPublicKey(point), key);
    // A key of another curve and a cut key are refused.
    EXPECT_FALSE(ParseManifestPublicKey("MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQgDQgAE" + key.substr(36), &point));
    EXPECT_FALSE(ParseManifestPublicKey(key.substr(0, 120), &point));
}

TEST(ManifestSignature, SignsTheSequenceAndTheListBehindAFixedFirstLine) {
    EXPECT_EQ(SignedListBytes(42, "a.txt|900150983cd24fb0d6963f7d28e17f72\n"),
              "VardenhalUpdateList\n42\na.txt|900150983cd24fb0d6963f7d28e17f72\n");
    EXPECT_EQ(SignedListBytes(9223372036854775807u, ""), "VardenhalUpdateList\n9223372036854775807\n");
}

TEST(ManifestSignature, ReadsTheSignatureFileInItsFormOnly) {
    const std::string signature(64, '\x5a');
    const std::string encoded =
        "WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWg==";
    EXPECT_EQ(FormatSignatureFile(1700000000, signature), "sequence 1700000000\nsignature " + encoded + "\n");
    const std::string line = "\nsignature " + encoded + "\n";
    const struct {
        std::string text;
        uint64_t sequence;  // 0: refused
    } cases[] = {
        {"sequence 1700000000" + line, 1700000000},
        {"sequence 1\r\nsignature " + encoded + "\r\n", 1},
        {"sequence 9223372036854775807" + line, 9223372036854775807u},
        {encoded + "\n", 0},  // the one-line form of before
        {"signature " + encoded + "\n", 0},
        {"sequence" + line, 0},
        {"sequence " + line, 0},
        {"sequence 0" + line, 0},
        {"sequence 007" + line, 0},
        {"sequence 9223372036854775808" + line, 0},
        {"sequence 18446744073709551617" + line, 0},
        {"sequence +7" + line, 0},
        {"sequence 7 " + line, 0},
        {"sequence 7\rsignature " + encoded + "\n", 0},
        {"sequence 7" + line.substr(0, line.size() - 1), 0},
        {"sequence 7" + line + "\n", 0},
        {"signature " + encoded + "\nsequence 7\n", 0},
        {"sequence 7\nsignature " + encoded.substr(4) + "\n", 0},
    };
    for (const auto& c : cases) {
        std::string read;
        uint64_t sequence = 0;
        EXPECT_EQ(ParseSignatureFile(c.text, &read, &sequence), c.sequence != 0) << c.text;
        if (c.sequence != 0) {
            EXPECT_EQ(sequence, c.sequence) << c.text;
            EXPECT_EQ(read, signature) << c.text;
        }
    }
}
