#include "update/list/kept_list_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/scoped_win.h"
#include "test_support_win.h"

namespace {

const KeptList kSigned = {"https://localhost:47443", "\"5f3a-1000\"",
                          "system/l2.ini|0123456789abcdef0123456789abcdef\n", "c2lnbmF0dXJl\n"};

std::string Fields(const KeptList& list) {
    return list.root + "|" + list.validator + "|" + list.text + "|" + list.signatureFile;
}

// The kept files still in `folder`, by name.
std::string KeptFiles(const std::wstring& folder) {
    std::string found;
    for (const char* name :
         {"filelist.txt", "filelist.txt.sig", "filelist.kept", "filelist.txt.new", "filelist.kept.new"})
        found += PathExists(folder + L"\\" + Widen(name)) ? std::string(name) + " " : "";
    return found;
}

TEST(KeptListFolder, SitsUnderLocalAppDataNamedForTheGameFolder) {
    const std::wstring local = Widen(EnvironmentValue("LOCALAPPDATA"));
    ASSERT_FALSE(local.empty());
    EXPECT_EQ(KeptListFolder(L"C:\\Games\\L2"), local + L"\\VardenhalUpdater\\333f1e664a14008f");
    EXPECT_EQ(KeptListFolder(L"c:/games/l2"), local + L"\\VardenhalUpdater\\333f1e664a14008f");
}

TEST(KeptListFiles, AWrittenListReadsBackAndAWriteReplacesItWhole) {
    TemporaryFolder temporary;
    const std::wstring folder = temporary.Path() + L"\\Local\\VardenhalUpdater\\333f1e664a14008f";
    KeptList read;
    ASSERT_TRUE(WriteKeptList(folder, kSigned));
    EXPECT_EQ(KeptFiles(folder), "filelist.txt filelist.txt.sig filelist.kept ");
    ASSERT_TRUE(ReadKeptList(folder, &read));
    EXPECT_EQ(Fields(read), Fields(kSigned));

    ASSERT_TRUE(WriteKeptList(folder, {"https://h", "Tue, 08 Dec 2026 10:00:00 GMT", "maps/a.unr|x\n", ""}));
    EXPECT_EQ(KeptFiles(folder), "filelist.txt filelist.kept ");
    EXPECT_EQ(ReadBytes(folder + L"\\filelist.kept"),
              "root https://h\nvalidator Tue, 08 Dec 2026 10:00:00 GMT\nlist b4a65e58548992187da878072e7d3c00\n");
    ASSERT_TRUE(ReadKeptList(folder, &read));
    EXPECT_EQ(Fields(read), "https://h|Tue, 08 Dec 2026 10:00:00 GMT|maps/a.unr|x\n|");

    // A record another program holds is not replaced: the list renamed already reads as damaged.
    {
        const ScopedFile held(CreateFileW((folder + L"\\filelist.kept").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.IsValid());
        EXPECT_FALSE(WriteKeptList(folder, kSigned));
    }
    EXPECT_EQ(KeptFiles(folder), "filelist.txt filelist.txt.sig filelist.kept ");
    EXPECT_FALSE(ReadKeptList(folder, &read));
}

TEST(KeptListFiles, ADamagedOrMissingFileDeletesTheSet) {
    for (const wchar_t* name : {L"\\filelist.txt", L"\\filelist.txt.sig", L"\\filelist.kept"}) {
        for (const bool remove : {false, true}) {
            TemporaryFolder folder;
            ASSERT_TRUE(WriteKeptList(folder.Path(), kSigned));
            std::string bytes = ReadBytes(folder.Path() + name);
            bytes[bytes.size() - 2] ^= 1;
            if (remove)
                DeleteFileW((folder.Path() + name).c_str());
            else
                WriteBytes(folder.Path() + name, bytes);
            KeptList read;
            EXPECT_FALSE(ReadKeptList(folder.Path(), &read)) << name << remove;
            EXPECT_EQ(KeptFiles(folder.Path()), "") << name << remove;
        }
    }
}

TEST(KeptListFiles, ListsUpTo64MiBAreRead) {
    const struct {
        LONGLONG zeros;
        const char* md5;
    } cases[] = {{64 << 20, "7f614da9329cd3aebf59b91aadc30bf0"}, {(64 << 20) + 1, "279f6c15a48c009464bece2b1bb75a70"}};
    for (const auto& c : cases) {
        TemporaryFolder folder;
        ScopedFile list(CreateFileW((folder.Path() + L"\\filelist.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    0, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = c.zeros;
        ASSERT_TRUE(SetFilePointerEx(list.Get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(list.Get()) &&
                    list.Close());
        WriteBytes(folder.Path() + L"\\filelist.kept",
                   std::string("root https://h\nvalidator \"e\"\nlist ") + c.md5 + "\n");
        KeptList read;
        EXPECT_EQ(ReadKeptList(folder.Path(), &read), c.zeros == 64 << 20) << c.zeros;
    }
}

TEST(KeptListFiles, TheAcceptedSequenceOutlivesTheList) {
    TemporaryFolder temporary;
    const std::wstring folder = temporary.Path() + L"\\kept";
    EXPECT_EQ(ReadAcceptedSequence(folder), 0u);
    ASSERT_TRUE(WriteAcceptedSequence(folder, 41) && WriteAcceptedSequence(folder, 18446744073709551615ull));
    EXPECT_EQ(ReadBytes(folder + L"\\sequence.txt"), "sequence 18446744073709551615\n");
    ASSERT_TRUE(WriteKeptList(folder, kSigned));
    WriteBytes(folder + L"\\filelist.txt.new", "left by a write cut short");
    DeleteKeptList(folder);
    EXPECT_EQ(KeptFiles(folder), "");
    EXPECT_EQ(ReadAcceptedSequence(folder), 18446744073709551615ull);
    WriteBytes(folder + L"\\sequence.txt", "sequence 4x\n");
    EXPECT_EQ(ReadAcceptedSequence(folder), 0u);
}

}  // namespace
