#include "game/game_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(GamePaths, ClientAndAutoLoginPathsHangOffTheFolder) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* client;
        std::array<const wchar_t*, 4> autoLogin;
    };
    const Case cases[] = {
        {L"C:\\Games\\Lineage II",
         L"C:\\Games\\Lineage II\\system\\l2.exe",
         {L"C:\\Games\\Lineage II\\AutoLogin", L"C:\\Games\\Lineage II\\AutoLogin.ini",
          L"C:\\Games\\Lineage II\\system\\AutoLogin.ini", L"C:\\Games\\Lineage II\\system\\AutoLogin"}},
        // A launcher in a drive root: PathRemoveFileSpecW keeps the root's backslash and the
        // fragments add their own; Win32 path parsing folds the pair into one.
        {L"D:\\",
         L"D:\\\\system\\l2.exe",
         {L"D:\\\\AutoLogin", L"D:\\\\AutoLogin.ini", L"D:\\\\system\\AutoLogin.ini", L"D:\\\\system\\AutoLogin"}},
        {L"\\\\server\\share\\L2",
         L"\\\\server\\share\\L2\\system\\l2.exe",
         {L"\\\\server\\share\\L2\\AutoLogin", L"\\\\server\\share\\L2\\AutoLogin.ini",
          L"\\\\server\\share\\L2\\system\\AutoLogin.ini", L"\\\\server\\share\\L2\\system\\AutoLogin"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(BuildGameClientPath(c.folder), c.client);
        const std::array<std::wstring, 4> paths = BuildAutoLoginPaths(c.folder);
        for (size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(paths[i], c.autoLogin[i]) << i;
    }
}

}  // namespace
