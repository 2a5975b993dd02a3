#include "resources/resource_files_win.h"

#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "resources/resource_ids.h"
#include "test_support_win.h"

namespace {

using Gdiplus::DllExports::GdipDisposeImage;

std::string ResourceBytes(HMODULE module, WORD id, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found)
        return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

std::wstring TempPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// The program itself, built beside this test binary.
std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"VardenhalUpdater.exe";
}

TEST(ExtractResourceToTemp, WritesTheResourceBytesAndTruncatesAStaleFile) {
    HMODULE module = GetModuleHandleW(nullptr);
    const struct {
        WORD id;
        const wchar_t* name;
        size_t size;
    } cases[] = {{IDR_BACKGROUND_JPEG, L"vhl_bg.jpg", 406823}, {IDR_MUSIC_MP3, L"vhl_music.mp3", 508976}};
    for (const auto& c : cases) {
        const std::wstring expectedPath = TempPath(c.name);
        WriteBytes(expectedPath, std::string(c.size + 100000, 'x'));  // longer leftover
        const std::wstring path = ExtractResourceToTemp(module, c.id, c.name);
        EXPECT_EQ(path, expectedPath);
        const std::string written = ReadBytes(path);
        EXPECT_EQ(written.size(), c.size);
        EXPECT_TRUE(written == ResourceBytes(module, c.id, RT_RCDATA)) << "content differs from the resource";
        DeleteFileW(path.c_str());
    }
}

TEST(ExtractResourceToTemp, MissingResourceGivesNothingAndTouchesNoFile) {
    const std::wstring path = TempPath(L"vhl_missing_test.bin");
    DeleteFileW(path.c_str());
    EXPECT_EQ(ExtractResourceToTemp(GetModuleHandleW(nullptr), 999, L"vhl_missing_test.bin"), L"");
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(LoadImageFromResource(GetModuleHandleW(nullptr), 999), nullptr);
}

TEST(ExtractResourceToTemp, ReadOnlyFileKeepsItsContentAndThePathIsReturned) {
    const std::wstring path = TempPath(L"vhl_readonly_test.mp3");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(path, "music of an earlier run");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ExtractResourceToTemp(GetModuleHandleW(nullptr), IDR_MUSIC_MP3, L"vhl_readonly_test.mp3"), path);
    EXPECT_TRUE(ReadBytes(path) == "music of an earlier run");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

TEST(LoadImageFromResource, DecodesTheBackgroundAndTheIcons) {
    const struct {
        WORD id;
        UINT size[2];
    } cases[] = {{IDR_BACKGROUND_JPEG, {900, 540}},
                 {IDR_YOUTUBE_PNG, {32, 32}},
                 {IDR_INSTAGRAM_PNG, {32, 32}},
                 {IDR_DISCORD_PNG, {32, 32}},
                 {IDR_TIKTOK_PNG, {32, 32}}};
    for (const auto& c : cases) {
        Gdiplus::GpImage* image = LoadImageFromResource(GetModuleHandleW(nullptr), c.id);
        ASSERT_NE(image, nullptr) << c.id;
        UINT width = 0, height = 0;
        EXPECT_EQ(Gdiplus::DllExports::GdipGetImageWidth(image, &width), Gdiplus::Ok);
        EXPECT_EQ(Gdiplus::DllExports::GdipGetImageHeight(image, &height), Gdiplus::Ok);
        EXPECT_EQ(width, c.size[0]) << c.id;
        EXPECT_EQ(height, c.size[1]) << c.id;
        GdipDisposeImage(image);
    }
}

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved, type, count;
};
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

// What the program carries, read from the executable itself.
class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program_, nullptr);
    }
    void TearDown() override {
        if (program_)
            FreeLibrary(program_);
    }
    HMODULE program_ = nullptr;
};

TEST_F(ProgramResources, CatalogueOfTypesIdsAndLanguages) {
    std::map<ULONG_PTR, std::set<std::pair<ULONG_PTR, WORD>>> found;  // type -> (id, language)
    struct Walk {
        static BOOL CALLBACK Language(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found) {
            auto* map = reinterpret_cast<std::map<ULONG_PTR, std::set<std::pair<ULONG_PTR, WORD>>>*>(found);
            (*map)[reinterpret_cast<ULONG_PTR>(type)].insert({reinterpret_cast<ULONG_PTR>(name), language});
            return TRUE;
        }
        static BOOL CALLBACK Name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
            EXPECT_TRUE(IS_INTRESOURCE(name)) << "named resource";
            EnumResourceLanguagesW(module, type, name, Language, found);
            return TRUE;
        }
        static BOOL CALLBACK Type(HMODULE module, LPWSTR type, LONG_PTR found) {
            EXPECT_TRUE(IS_INTRESOURCE(type)) << "named resource type";
            EnumResourceNamesW(module, type, Name, found);
            return TRUE;
        }
    };
    EnumResourceTypesW(program_, Walk::Type, reinterpret_cast<LONG_PTR>(&found));

    auto ids = [](std::initializer_list<ULONG_PTR> list) {
        std::set<std::pair<ULONG_PTR, WORD>> set;
        for (ULONG_PTR id : list)
            set.insert({id, 1033});
        return set;
    };
    std::map<ULONG_PTR, std::set<std::pair<ULONG_PTR, WORD>>> expected = {
        {reinterpret_cast<ULONG_PTR>(RT_RCDATA), ids({2, 3, 4, 5, 6, 7})},
        {reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON), ids({1})},
        {reinterpret_cast<ULONG_PTR>(RT_ICON), ids({1, 2, 3, 4, 5, 6})},
        {reinterpret_cast<ULONG_PTR>(RT_MANIFEST), ids({1})},
    };
    EXPECT_EQ(found, expected);

    const size_t sizes[] = {406823, 508976, 714, 1662, 1728, 2717};
    for (WORD id = 2; id <= 7; ++id)
        EXPECT_EQ(ResourceBytes(program_, id, RT_RCDATA).size(), sizes[id - 2]) << "RCDATA " << id;
}

TEST_F(ProgramResources, IconGroupHoldsFiveDibImagesAndA256PixelPng) {
    const std::string group = ResourceBytes(program_, IDI_PROGRAM, RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof(header));
    ASSERT_EQ(header.count, 6);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + 6 * sizeof(GroupIconEntry));
    const int pixels[] = {16, 32, 48, 64, 128, 256};
    for (int i = 0; i < 6; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        EXPECT_EQ(entry.width == 0 ? 256 : entry.width, pixels[i]);
        EXPECT_EQ(entry.id, i + 1);
        const std::string image = ResourceBytes(program_, entry.id, RT_ICON);
        ASSERT_EQ(image.size(), entry.bytesInRes);
        if (i < 5) {
            BITMAPINFOHEADER info;
            ASSERT_GE(image.size(), sizeof(info));
            std::memcpy(&info, image.data(), sizeof(info));
            EXPECT_EQ(info.biSize, sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(info.biWidth, pixels[i]);
            EXPECT_EQ(info.biHeight, 2 * pixels[i]);  // colour rows, then the mask rows
            EXPECT_EQ(info.biBitCount, 32);
        } else {
            ASSERT_GE(image.size(), 33u);
            EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
            const unsigned char* ihdr = reinterpret_cast<const unsigned char*>(image.data()) + 16;
            EXPECT_EQ((ihdr[0] << 24) | (ihdr[1] << 16) | (ihdr[2] << 8) | ihdr[3], 256);  // width
            EXPECT_EQ((ihdr[4] << 24) | (ihdr[5] << 16) | (ihdr[6] << 8) | ihdr[7], 256);  // height
            EXPECT_EQ(ihdr[8], 8);                                                         // bit depth
            EXPECT_EQ(ihdr[9], 6);                                                         // RGBA
        }
    }
}

TEST_F(ProgramResources, ApplicationManifestAsksForCommonControls6AsInvoker) {
    const std::string manifest = ResourceBytes(program_, 1, RT_MANIFEST);
    EXPECT_EQ(manifest.size(), 638u);
    for (const char* needle :
         {"level=\"asInvoker\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
          "version=\"6.0.0.0\"", "processorArchitecture=\"*\"", "language=\"*\""}) {
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
    }
}

}  // namespace
