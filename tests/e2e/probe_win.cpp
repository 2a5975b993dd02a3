// Looks at and drives a running launcher from outside, for the end-to-end tests.
//   probe wait SECONDS                  waits until the main window exists
//   probe window                        title, client size, client origin on screen, screen size
//   probe status                        the status line's text (control 108), as UTF-8
//   probe wait-status PREFIX SECONDS    waits until the status line starts with PREFIX
//   probe click X Y                     a left press and release at client (X, Y), posted
//   probe move X Y                      a mouse move to client (X, Y), posted
//   probe pixel X Y                     the window's pixel at client (X, Y) as "R G B"
//   probe dialogs                       how many Info dialogs are open
//   probe dialog-click X Y              a press at client (X, Y) of the topmost Info dialog
//   probe close                         posts WM_CLOSE to the main window
// Exit status 0 on success, 1 when the window is missing or a wait timed out, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND FindLauncher() {
    return FindWindowW(L"VardenhalUpdaterWnd", nullptr);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(length - 1);
    return utf8;
}

std::wstring FromUtf8(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(length - 1);
    return wide;
}

std::wstring StatusText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(GetDlgItem(window, 108), text, 1024);
    return text;
}

bool WaitFor(double seconds, bool (*ready)(const void*), const void* context) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    do {
        if (ready(context))
            return true;
        Sleep(50);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
    return ready(context);
}

LPARAM Point(const char* x, const char* y) {
    return MAKELPARAM(static_cast<short>(std::atoi(x)), static_cast<short>(std::atoi(y)));
}

BOOL CALLBACK CountDialog(HWND window, LPARAM count) {
    wchar_t name[64];
    if (GetClassNameW(window, name, 64) && std::wstring(name) == L"VardenhalInfoDlg" && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    if (command == "wait") {
        if (argc < 3)
            return 2;
        return WaitFor(
                   std::atof(argv[2]), [](const void*) { return FindLauncher() != nullptr; }, nullptr)
                   ? 0
                   : 1;
    }
    HWND window = FindLauncher();
    if (!window) {
        std::fprintf(stderr, "no launcher window\n");
        return 1;
    }
    if (command == "window") {
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        RECT client, outer;
        GetClientRect(window, &client);
        GetWindowRect(window, &outer);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::printf("title=%s\nclient=%ld %ld\norigin=%ld %ld\nouter=%ld %ld %ld %ld\nscreen=%d %d\n",
                    ToUtf8(title).c_str(), client.right, client.bottom, origin.x, origin.y, outer.left, outer.top,
                    outer.right, outer.bottom, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        return 0;
    }
    if (command == "status") {
        std::printf("%s\n", ToUtf8(StatusText(window)).c_str());
        return 0;
    }
    if (command == "wait-status" && argc >= 4) {
        static std::wstring prefix;
        static HWND target;
        prefix = FromUtf8(argv[2]);
        target = window;
        const bool ok = WaitFor(
            std::atof(argv[3]), [](const void*) { return StatusText(target).compare(0, prefix.size(), prefix) == 0; },
            nullptr);
        std::printf("%s\n", ToUtf8(StatusText(window)).c_str());
        return ok ? 0 : 1;
    }
    if ((command == "click" || command == "move") && argc >= 4) {
        const LPARAM point = Point(argv[2], argv[3]);
        PostMessageW(window, WM_MOUSEMOVE, 0, point);
        if (command == "click") {
            PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
            PostMessageW(window, WM_LBUTTONUP, 0, point);
        }
        Sleep(100);
        return 0;
    }
    if (command == "pixel" && argc >= 4) {
        HDC dc = GetDC(window);
        const COLORREF colour = GetPixel(dc, std::atoi(argv[2]), std::atoi(argv[3]));
        ReleaseDC(window, dc);
        std::printf("%d %d %d\n", GetRValue(colour), GetGValue(colour), GetBValue(colour));
        return 0;
    }
    if (command == "dialogs") {
        int count = 0;
        EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&count));
        std::printf("%d\n", count);
        return 0;
    }
    if (command == "dialog-click" && argc >= 4) {
        HWND dialog = FindWindowW(L"VardenhalInfoDlg", nullptr);
        if (!dialog)
            return 1;
        const LPARAM point = Point(argv[2], argv[3]);
        PostMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageW(dialog, WM_LBUTTONUP, 0, point);
        Sleep(100);
        return 0;
    }
    if (command == "close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return 2;
}
