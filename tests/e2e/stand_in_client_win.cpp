// Stands in for the game client in the demo and the end-to-end tests: records the working
// directory it was started with in client-cwd.txt beside itself, then shows a window saying the
// game started, until it is closed.
#include <windows.h>

#include <string>

namespace {

void RecordWorkingDirectory() {
    wchar_t self[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring folder = self;
    folder.resize(folder.find_last_of(L'\\'));
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(length, L'\0');
    directory.resize(GetCurrentDirectoryW(length, &directory[0]));
    const std::string utf8(directory.begin(), directory.end());  // the test folders are ASCII
    const std::wstring partial = folder + L"\\client-cwd.tmp";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), (folder + L"\\client-cwd.txt").c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            SetTextColor(dc, RGB(200, 160, 255));
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, L"The game started (stand-in client). Close this window to quit.", -1, &client,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RecordWorkingDirectory();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"VardenhalStandInClient";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"VardenhalStandInClient", L"Lineage II (stand-in)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 200, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
