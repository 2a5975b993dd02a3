#include "media/music_player_win.h"

#include <windows.h>
#include <mmsystem.h>

unsigned SendMciString(const std::wstring& command) {
    // Fire and forget: no answer text is wanted and no window waits for notifications.
    return mciSendStringW(command.c_str(), nullptr, 0, nullptr);
}
