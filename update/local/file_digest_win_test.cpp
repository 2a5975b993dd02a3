#include "update/local/file_digest_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "test_support_win.h"

namespace {

TEST(ComputeFileMd5, KnownContents) {
    TemporaryFolder folder;
    const std::wstring empty = folder.Path() + L"\\empty.dat";
    const std::wstring abc = folder.Path() + L"\\abc.txt";
    WriteBytes(empty, "");
    WriteBytes(abc, "abc");
    EXPECT_EQ(ComputeFileMd5(empty), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(ComputeFileMd5(abc), "900150983cd24fb0d6963f7d28e17f72");
    // Digits above 9 come out in lower case: a digest with a-f in it.
    const std::wstring hello = folder.Path() + L"\\hello.txt";
    WriteBytes(hello, "hello world\n");
    EXPECT_EQ(ComputeFileMd5(hello), "6f5902ac237024bdd0c176cb93063dc4");
}

TEST(ComputeFileMd5, UnreadablePathsGiveTheEmptyString) {
    TemporaryFolder folder;
    EXPECT_EQ(ComputeFileMd5(folder.Path()), "");
    EXPECT_EQ(ComputeFileMd5(folder.Path() + L"\\missing.dat"), "");

    // Another program writing the file holds it without read sharing: told apart as in use.
    const std::wstring busy = folder.Path() + L"\\busy.dat";
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    bool inUse = false;
    EXPECT_EQ(ComputeFileMd5With(0, busy, nullptr, DigestStop(), &inUse), "");
    EXPECT_TRUE(inUse);
    CloseHandle(writer);
    EXPECT_EQ(ComputeFileMd5With(0, busy, nullptr, DigestStop(), &inUse), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_FALSE(inUse);
    EXPECT_EQ(ComputeFileMd5With(0, folder.Path() + L"\\missing.dat", nullptr, DigestStop(), &inUse), "");
    EXPECT_FALSE(inUse);
}

// A download may move a file aside (the running launcher) while its digest is being read.
TEST(ComputeFileMd5With, AFileBeingReadCanBeMovedAside) {
    TemporaryFolder folder;
    const std::wstring path = folder.Path() + L"\\read.dat";
    const std::wstring aside = folder.Path() + L"\\aside.dat";
    WriteBytes(path, std::string(200000, 'r'));
    bool moved = false;
    const std::string digest = ComputeFileMd5With(0, path, [&](uint32_t) {
        if (!moved)
            moved = MoveFileExW(path.c_str(), aside.c_str(), 0) != FALSE;
    });
    EXPECT_TRUE(moved);
    EXPECT_EQ(digest, "d5593e70f9cc258f10b1f14b8d087d08");
}

TEST(ComputeFileMd5With, OneProviderServesManyFiles) {
    TemporaryFolder folder;
    const std::wstring abc = folder.Path() + L"\\abc.txt";
    const std::wstring empty = folder.Path() + L"\\empty.txt";
    WriteBytes(abc, "abc");
    WriteBytes(empty, "");
    const HCRYPTPROV provider = AcquireMd5Provider();
    ASSERT_NE(provider, 0u);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(ComputeFileMd5With(provider, abc), "900150983cd24fb0d6963f7d28e17f72");
        EXPECT_EQ(ComputeFileMd5With(provider, empty), "d41d8cd98f00b204e9800998ecf8427e");
        EXPECT_EQ(ComputeFileMd5With(provider, folder.Path()), "");
    }
    CryptReleaseContext(provider, 0);
    EXPECT_EQ(ComputeFileMd5With(0, abc), "900150983cd24fb0d6963f7d28e17f72");  // acquires its own
}

TEST(ComputeFileMd5, LargeFileMatchesMd5sum) {
    // Made by the test run on the Linux side, with md5sum's answer beside it.
    const std::string data = EnvironmentValue("VARDENHAL_TEST_DATA");
    if (data.empty())
        GTEST_SKIP() << "VARDENHAL_TEST_DATA not set";
    const std::string expected = ReadBytes(WinePathFromUnix(data + "/random-64m.bin.md5")).substr(0, 32);
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(ComputeFileMd5(WinePathFromUnix(data + "/random-64m.bin")), expected);
}

}  // namespace
