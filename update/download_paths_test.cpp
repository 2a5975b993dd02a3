#include "update/download_paths.h"

#include <gtest/gtest.h>

namespace {

using Folders = std::vector<std::wstring>;

TEST(FolderPrefixesToCreate, OutermostFirstThenTheWholeFolderPart) {
    const struct {
        const wchar_t* path;
        Folders expected;
    } cases[] = {
        {L"C:\\Games\\L2\\system\\l2.ini", {L"C:", L"C:\\Games", L"C:\\Games\\L2", L"C:\\Games\\L2\\system"}},
        {L"C:\\L2\\a/b\\c.dat", {L"C:", L"C:\\L2", L"C:\\L2\\a", L"C:\\L2\\a/b"}},
        {L"Z:\\tmp\\x.dat", {L"Z:", L"Z:\\tmp"}},
        {L"\\\\server\\share\\f.dat", {L"\\", L"\\\\server", L"\\\\server\\share"}},
        {L"dir\\file", {L"dir"}},
        {L"file.dat", {}},
        {L"\\file.dat", {}},
        {L"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderPrefixesToCreate(c.path), c.expected) << std::wstring(c.path).size();
}

TEST(TemporaryDownloadPath, StaysInTheTargetFolderWithANameNoManifestCanProduce) {
    const std::wstring target = L"C:\\L2\\system\\l2.ini";
    const std::wstring temporary = TemporaryDownloadPath(target);
    EXPECT_EQ(temporary.compare(0, target.size(), target), 0);
    EXPECT_EQ(temporary.find_first_of(L"\\/", target.size()), std::wstring::npos);
    bool hasForeignCharacter = false;
    for (wchar_t c : temporary.substr(target.size()))
        hasForeignCharacter |= (c > 0x7F && c < 0xFF80);
    EXPECT_TRUE(hasForeignCharacter);
}

}  // namespace
