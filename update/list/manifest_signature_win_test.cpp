#include "update/list/manifest_signature_win.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support_win.h"
#include "tools/filelist/signing.h"
#include "update/list/manifest_signature.h"

namespace {

// The key, the list and its signature were made by the operators' tool on the Linux side
// (OpenSSL), so this checks the launcher against a signer that shares none of its code.
// tests/run-win-tests.sh signs with the sequence 1700000000.
TEST(VerifySignedList, AcceptsWhatTheToolSignedAndNothingElse) {
    const std::string data = EnvironmentValue("VARDENHAL_TEST_DATA");
    const std::string publicKey = data.empty() ? "" : ReadBytes(WinePathFromUnix(data + "/signing.pub"));
    if (publicKey.empty())
        GTEST_SKIP() << "no key made by the tool in VARDENHAL_TEST_DATA";
    const std::string key = publicKey.substr(0, publicKey.find('\n'));
    const std::string list = ReadBytes(WinePathFromUnix(data + "/signed.txt"));
    const std::string file = ReadBytes(WinePathFromUnix(data + "/signed.txt.sig"));
    uint64_t sequence = 0;
    EXPECT_TRUE(VerifySignedList(key, list, file, &sequence));
    EXPECT_EQ(sequence, 1700000000u);

    std::string point;
    std::string signature;
    ASSERT_TRUE(ParseManifestPublicKey(key, &point));
    ASSERT_TRUE(ParseSignatureFile(file, &signature, &sequence));
    // The Windows tool checks with the same code, over the bytes it signs.
    EXPECT_TRUE(VerifyManifestSignature(point, SignedListBytes(1700000000, list), signature));
    std::string changedList = list;
    changedList[changedList.size() / 2] ^= 0x01;
    std::string changedSignature = signature;
    changedSignature[40] ^= 0x80;
    std::string otherPoint = point;
    otherPoint[63] ^= 0x01;  // off the curve
    std::string listAlone;
    ASSERT_TRUE(SignWithKeyFile(ReadBytes(WinePathFromUnix(data + "/signing.key")), list, &listAlone));
    const struct {
        const char* name;
        std::string key;
        std::string list;
        std::string file;
    } refused[] = {
        {"one byte of the list changed", key, changedList, file},
        {"a line end added to the list", key, list + "\n", file},
        {"the sequence raised", key, list, FormatSignatureFile(1700000001, signature)},
        {"the signature changed", key, list, FormatSignatureFile(1700000000, changedSignature)},
        {"a zero signature", key, list, FormatSignatureFile(1700000000, std::string(64, '\0'))},
        {"a signature over the list alone", key, list, FormatSignatureFile(1700000000, listAlone)},
        {"the one-line form", key, list, EncodeBase64(signature) + "\n"},
        {"a key off the curve", FormatManifestPublicKey(otherPoint), list, file},
        {"no key", "", list, file},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(VerifySignedList(c.key, c.list, c.file, &sequence)) << c.name;
}

}  // namespace
