#include "update/manifest_signature.h"

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

TEST(ManifestSignature, ReadsTheKeyAndTheSignatureFileInTheirFormsOnly) {
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

    const std::string signature(64, '\x5a');
    const std::string file = FormatSignatureFile(signature);
    EXPECT_EQ(file, "WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWg==\n");
    std::string read;
    for (const std::string& form : {file, file.substr(0, file.size() - 1), file.substr(0, 88) + "\r\n"}) {
        EXPECT_TRUE(ParseSignatureFile(form, &read));
        EXPECT_EQ(read, signature);
    }
    for (const std::string& bad : {std::string(), file.substr(4), file + "\n", " " + file, file.substr(0, 60) + "\n"})
        EXPECT_FALSE(ParseSignatureFile(bad, &read)) << bad;
}
