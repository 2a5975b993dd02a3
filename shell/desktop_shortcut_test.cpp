#include "shell/desktop_shortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(DesktopShortcut, WorkingDirectoryIsTheExecutableFolderWithoutSeparator) {
    const struct {
        const wchar_t* executablePath;
        const wchar_t* workingDirectory;
    } cases[] = {
        {L"C:\\Games\\Lineage II\\VardenhalUpdater.exe", L"C:\\Games\\Lineage II"},
        {L"C:/Games/L2/VardenhalUpdater.exe", L"C:/Games/L2"},
        // The last separator wins, whichever kind it is.
        {L"C:\\Games/L2\\sub/VardenhalUpdater.exe", L"C:\\Games/L2\\sub"},
        {L"C:\\Games/L2/sub\\VardenhalUpdater.exe", L"C:\\Games/L2/sub"},
        {L"\\\\server\\share\\VardenhalUpdater.exe", L"\\\\server\\share"},
        {L"C:\\VardenhalUpdater.exe", L"C:"},
        {L"VardenhalUpdater.exe", L"VardenhalUpdater.exe"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(ComputeShortcutWorkingDirectory(c.executablePath), c.workingDirectory);
    }
}

TEST(DesktopShortcut, ShortcutLiesDirectlyInTheDesktopFolder) {
    EXPECT_EQ(BuildShortcutPath(L"C:\\Users\\Player One\\Desktop"), L"C:\\Users\\Player One\\Desktop\\Vardenhal.lnk");
    EXPECT_EQ(BuildShortcutPath(L"Z:\\home\\p\\Desktop"), L"Z:\\home\\p\\Desktop\\Vardenhal.lnk");
}

}  // namespace
