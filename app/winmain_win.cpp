// Program entry point: start-up, the message loop, and the exit code.
#include <windows.h>

#include "app/launcher_start_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Without a window nothing would ever post WM_QUIT: give up at once instead of waiting.
    if (!StartLauncher(instance))
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
