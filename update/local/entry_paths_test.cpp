#include "update/local/entry_paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint16_t> CodeUnits(const std::wstring& text) {
    std::vector<uint16_t> units;
    for (wchar_t c : text)
        units.push_back(static_cast<uint16_t>(c));
    return units;
}

TEST(WidenManifestPath, EachByteBecomesOneSignExtendedCodeUnit) {
    const struct {
        std::string bytes;
        std::vector<uint16_t> units;
    } cases[] = {
        {"system/l2.ini", {'s', 'y', 's', 't', 'e', 'm', '/', 'l', '2', '.', 'i', 'n', 'i'}},
        {"\x7F", {0x007F}},
        {"\x80", {0xFF80}},
        {"\xC3\xA9", {0xFFC3, 0xFFA9}},  // UTF-8 is not decoded
        {"a\xFF"
         "b",
         {'a', 0xFFFF, 'b'}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodeUnits(WidenManifestPath(c.bytes)), c.units) << c.bytes;
}

TEST(BuildLocalPath, JoinsWithOneBackslashAndTurnsEverySlashIntoABackslash) {
    const struct {
        const wchar_t* folder;
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Games\\L2", L"system/l2.ini", L"C:\\Games\\L2\\system\\l2.ini"},
        {L"C:\\Games\\L2", L"l2.ini", L"C:\\Games\\L2\\l2.ini"},
        {L"C:\\Games\\L2", L"a\\b/c", L"C:\\Games\\L2\\a\\b\\c"},
        // Slashes in the folder part are turned too.
        {L"Z:/home/l2", L"maps/x.unr", L"Z:\\home\\l2\\maps\\x.unr"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildLocalPath(c.folder, c.path), c.expected) << c.path;
}

TEST(ServerAddresses, ManifestAndFileAddressesHangBelowUpdater) {
    EXPECT_EQ(BuildManifestAddress("https://updates.test"), "https://updates.test/updater/filelist.txt");
    const std::string base = BuildFileBaseAddress("https://updates.test:8443");
    EXPECT_EQ(base, "https://updates.test:8443/updater/");
    // The path bytes go in unchanged: slashes kept, nothing escaped.
    EXPECT_EQ(BuildDownloadAddress(base, "system/l2.ini"), "https://updates.test:8443/updater/system/l2.ini");
    EXPECT_EQ(BuildDownloadAddress(base, "my maps/a\\b%20\xE9.unr"),
              "https://updates.test:8443/updater/my maps/a\\b%20\xE9.unr");
    // The compiled-in roots are https addresses without a trailing slash.
    EXPECT_FALSE(SplitUpdateRoots(kUpdateServerRoot).empty()) << kUpdateServerRoot;
}

TEST(SplitUpdateRoots, TakesSingleSpacedRootsApartAndRefusesTheWholeTextForOneBadPiece) {
    using Roots = std::vector<std::string>;
    const struct {
        std::string text;
        Roots roots;
    } cases[] = {
        {"https://updates.test", {"https://updates.test"}},
        {"https://a.test https://127.0.0.1:8443 https://b-2.test:1",
         {"https://a.test", "https://127.0.0.1:8443", "https://b-2.test:1"}},
        {"https://a.test:65535", {"https://a.test:65535"}},
        {"", {}},
        {"https://a.test  https://b.test", {}},
        {" https://a.test", {}},
        {"https://a.test ", {}},
        {"https://a.test\thttps://b.test", {}},
        {"https://a.test http://b.test", {}},
        {"https://a.test https://b.test/", {}},
        {"https://-a.test", {}},
        {"https://a.test.", {}},
        {"https://user@a.test", {}},
        {"https://a.test:0", {}},
        {"https://a.test:65536", {}},
        {"https://a.test:008443", {}},
        {"https://a.test:84x3", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitUpdateRoots(c.text), c.roots) << c.text;
}

TEST(IsEntryPathAllowed, RefusesEveryFormThatCouldLeaveTheFolderOrOpenADevice) {
    const std::string refused[] = {
        "",
        // leading separators: rooted and UNC paths
        "/etc/passwd",
        "\\Windows\\x.dll",
        "//server/share/x",
        "\\\\server\\share\\x",
        "\\\\?\\C:\\x",
        // any colon: drive letters, drive-relative paths, alternate streams
        "C:/Windows/x.dll",
        "c:x.dll",
        "system/l2.ini:hidden",
        "l2.ini::$DATA",
        ":",
        // parent segments between separators of either kind
        "..",
        "../l2.exe",
        "..\\l2.exe",
        "system/..",
        "system/../../x",
        "a\\..\\..\\b",
        "a/..\\b",
        "a\\../b",
        "a//../b",
        // devices as a segment, any case, with or without extension
        "CON",
        "con",
        "Con.txt",
        "system/PRN",
        "aux.dat",
        "a/NUL/b",
        "nul.tar.gz",
        "COM1",
        "com9.log",
        "Lpt1",
        "system\\lpt9.ini",
        "COM0",
        "lpt0",
        "CONIN$",
        "conout$.x",
        "CON .txt",
        "con ",
        // a NUL byte would cut the wide path short at the platform
        std::string("a.dat\0/../../x", 14),
    };
    for (const std::string& path : refused)
        EXPECT_FALSE(IsEntryPathAllowed(path)) << path;
}

TEST(IsEntryPathAllowed, KeepsOrdinaryPathsThatOnlyLookSimilar) {
    const std::string allowed[] = {
        "system/l2.ini",
        "l2.ini",
        "system\\l2.ini",
        "a..b/c",
        "..a",
        "a..",
        "...",
        "./system/l2.ini",
        "a/./b",
        "system/",
        "CONSOLE.txt",
        "xcon",
        "con-fig.ini",
        "COM10",
        "LPT",
        "COMA",
        "lpt1x.dat",
        "icons/aux_off.png",
        "maps/\xC3\xA9t\xE9.unr",
    };
    for (const std::string& path : allowed)
        EXPECT_TRUE(IsEntryPathAllowed(path)) << path;
}

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
    EXPECT_EQ(ResumeRecordPathOfTemporary(temporary), L"C:\\L2\\system\\l2.ini.vhl\u2193resume");
}

TEST(LongPathForm, PrefixesOnlyPathsWindowsWouldRefuse) {
    const std::wstring name(250, L'n');
    const struct {
        std::wstring path;
        std::wstring form;
    } cases[] = {
        {L"C:\\L2\\system\\l2.ini", L"C:\\L2\\system\\l2.ini"},
        {L"C:\\L2\\" + name, L"\\\\?\\C:\\L2\\" + name},
        {L"D:\\\\L2/./" + name + L".vhl\u2193part", L"\\\\?\\D:\\L2\\" + name + L".vhl\u2193part"},
        {L"\\\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name},
        {L"\\\\?\\C:\\" + name, L"\\\\?\\C:\\" + name},
        {L"relative\\" + name, L"relative\\" + name},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LongPathForm(c.path), c.form) << c.path.size();
}

TEST(PathKey, ComparesPathsAsWindowsDoes) {
    EXPECT_EQ(PathKey(L"C:\\Games\\L2\\VardenhalUpdater.exe"), PathKey(L"c:\\games\\l2/vardenhalupdater.EXE"));
    EXPECT_EQ(PathKey(L"D:\\\\system\\l2.exe"), L"d:\\system\\l2.exe");
    EXPECT_EQ(PathKey(L"\\\\Server\\Share\\\\a"), L"\\\\server\\share\\a");
    EXPECT_NE(PathKey(L"C:\\L2\\a.exe"), PathKey(L"C:\\L2\\a.ex"));
}

}  // namespace
