// Stands in for the game client in the launch tests: records the working directory it was
// started with in client-cwd.txt beside itself (UTF-16), then exits.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t self[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));

    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(length, L'\0');
    directory.resize(GetCurrentDirectoryW(length, &directory[0]));

    // Written under another name first so the test never reads half a file.
    const std::wstring partial = folder + L"\\client-cwd.tmp";
    const std::wstring finished = folder + L"\\client-cwd.txt";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, directory.data(), static_cast<DWORD>(directory.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), finished.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
