#include "update/manifest_signature_win.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support_win.h"
#include "update/manifest_signature.h"

namespace {

// The key, the list and its signature were made by the operators' tool on the Linux side
// (OpenSSL), so this checks the launcher against a signer that shares none of its code.
TEST(VerifyManifestSignature, AcceptsWhatTheToolSignedAndNothingElse) {
    const std::string data = EnvironmentValue("VARDENHAL_TEST_DATA");
    const std::string publicKey = data.empty() ? "" : ReadBytes(WinePathFromUnix(data + "/signing.pub"));
    if (publicKey.empty())
        GTEST_SKIP() << "no key made by the tool in VARDENHAL_TEST_DATA";
    std::string point;
    std::string signature;
    ASSERT_TRUE(ParseManifestPublicKey(publicKey.substr(0, publicKey.find('\n')), &point));
    const std::string list = ReadBytes(WinePathFromUnix(data + "/signed.txt"));
    ASSERT_TRUE(ParseSignatureFile(ReadBytes(WinePathFromUnix(data + "/signed.txt.sig")), &signature));
    EXPECT_TRUE(VerifyManifestSignature(point, list, signature));

    std::string changedList = list;
    changedList[changedList.size() / 2] ^= 0x01;
    std::string changedSignature = signature;
    changedSignature[40] ^= 0x80;
    std::string otherPoint = point;
    otherPoint[63] ^= 0x01;  // off the curve
    EXPECT_FALSE(VerifyManifestSignature(point, changedList, signature));
    EXPECT_FALSE(VerifyManifestSignature(point, list + "\n", signature));
    EXPECT_FALSE(VerifyManifestSignature(point, list, changedSignature));
    EXPECT_FALSE(VerifyManifestSignature(point, list, signature.substr(0, 63)));
    EXPECT_FALSE(VerifyManifestSignature(point, list, std::string(64, '\0')));
    EXPECT_FALSE(VerifyManifestSignature(otherPoint, list, signature));
    EXPECT_FALSE(VerifyManifestSignature(std::string(64, '\0'), list, signature));
}

}  // namespace
