#include "ui/main_window_input_win.h"

#include <windows.h>

#include "ui/draw_primitives_win.h"
#include "ui/hover.h"
#include "ui/launcher_state_win.h"
#include "ui/layout.h"
#include "ui/main_window_commands_win.h"
#include "ui/main_window_update_win.h"
#include "ui/web_links.h"
#include "update/run/update_worker_win.h"

namespace {

// Pointer positions are signed 16-bit client coordinates: left of or above the window while the
// capture holds, they are negative.
POINT PointFromLParam(LPARAM lParam) {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

POINT CursorInClient(HWND window) {
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    return cursor;
}

bool IsOver(LauncherElement element, POINT point) {
    return HitTest(launcherState.layout[element], point.x, point.y);
}

// While muted the new volume is only stored; unmuting applies it.
void SetVolumeFromX(int x) {
    const int32_t volume = ComputeVolumeFromX(x, launcherState.layout.width);
    launcherState.musicVolume = volume;
    if (!launcherState.musicMuted)
        SetMusicVolume(volume);
}

void PressUpdateButton(HWND window) {
    if (launcherState.updateRunning && launcherState.updateRun)
        launcherState.updateRun->cancelRequested.store(true, std::memory_order_relaxed);
    else
        StartUpdateRun(window, true);
}

void PressPlayButton(HWND window) {
    if (launcherState.musicPlaying)
        StopMusic();
    else
        StartMusic();
    RequestRepaint(window);
}

void PressMuteButton(HWND window) {
    launcherState.musicMuted = !launcherState.musicMuted;
    SetMusicVolume(launcherState.musicMuted ? 0 : launcherState.musicVolume);
    RequestRepaint(window);
}

void PressVolumeSlider(HWND window, POINT point) {
    launcherState.draggingVolume = true;
    SetCapture(window);
    SetVolumeFromX(point.x);
    RequestRepaint(window);
}

}  // namespace

// Commands act on the press; the rectangles do not overlap, so at most one element answers.
void OnLButtonDown(HWND window, LPARAM lParam) {
    const POINT point = PointFromLParam(lParam);
    switch (FindElementAt(launcherState.layout, point.x, point.y)) {
        case LauncherElement::kUpdateButton:
            PressUpdateButton(window);
            break;
        case LauncherElement::kGameStartButton:
            if (launcherState.gameReady)
                mainWindowCommands.launchGame();
            break;
        case LauncherElement::kYoutubeIcon:
            mainWindowCommands.openLink(kYoutubeAddress);
            break;
        case LauncherElement::kInstagramIcon:
            mainWindowCommands.openLink(kInstagramAddress);
            break;
        case LauncherElement::kDiscordIcon:
            mainWindowCommands.openLink(kDiscordAddress);
            break;
        case LauncherElement::kTiktokIcon:
            mainWindowCommands.openLink(kTiktokAddress);
            break;
        case LauncherElement::kTitleBox:
            mainWindowCommands.openLink(kWebsiteAddress);
            break;
        case LauncherElement::kPlayButton:
            PressPlayButton(window);
            break;
        case LauncherElement::kMuteButton:
            PressMuteButton(window);
            break;
        case LauncherElement::kVolumeSlider:
            PressVolumeSlider(window, point);
            break;
        case LauncherElement::kInfoButton:
            mainWindowCommands.openInfoDialog(window);
            break;
        default:
            break;
    }
}

void OnLButtonUp(HWND) {
    if (launcherState.draggingVolume) {
        launcherState.draggingVolume = false;
        ReleaseCapture();
    }
}

// Four hover flags are stored; PLAY/STOP and VOL/MUTED are measured afresh by the timer, so here
// they only decide whether a repaint is due.
void OnMouseMove(HWND window, LPARAM lParam) {
    const POINT point = PointFromLParam(lParam);
    if (launcherState.draggingVolume) {
        SetVolumeFromX(point.x);
        RequestRepaint(window);
    }
    const bool update = IsOver(LauncherElement::kUpdateButton, point);
    const bool gameStart = IsOver(LauncherElement::kGameStartButton, point);
    const bool title = IsOver(LauncherElement::kTitleBox, point);
    const bool info = IsOver(LauncherElement::kInfoButton, point);
    const bool play = IsOver(LauncherElement::kPlayButton, point);
    const bool mute = IsOver(LauncherElement::kMuteButton, point);
    if (update != launcherState.updateHovered || gameStart != launcherState.gameStartHovered ||
        title != launcherState.titleHovered || info != launcherState.infoHovered ||
        play != (launcherState.playHoverLevel > 0.5f) || mute != (launcherState.muteHoverLevel > 0.5f)) {
        launcherState.updateHovered = update;
        launcherState.gameStartHovered = gameStart;
        launcherState.titleHovered = title;
        launcherState.infoHovered = info;
        RequestRepaint(window);
    }
}

bool OnSetCursor(HWND window) {
    const POINT cursor = CursorInClient(window);
    if (!IsHandCursorAt(launcherState.layout, cursor.x, cursor.y))
        return false;
    SetCursor(LoadCursorA(nullptr, SystemCursorId(IDC_HAND)));
    return true;
}

bool StepHoverLevels(LauncherState& state, POINT cursor) {
    bool changed = false;
    StepHoverLevel(state.updateHoverLevel, state.updateHovered, changed);
    StepHoverLevel(state.gameStartHoverLevel, state.gameStartHovered, changed);
    StepHoverLevel(state.titleHoverLevel, state.titleHovered, changed);
    StepHoverLevel(state.infoHoverLevel, state.infoHovered, changed);
    const LauncherLayout& layout = state.layout;
    StepHoverLevel(state.playHoverLevel, HitTest(layout[LauncherElement::kPlayButton], cursor.x, cursor.y), changed);
    StepHoverLevel(state.muteHoverLevel, HitTest(layout[LauncherElement::kMuteButton], cursor.x, cursor.y), changed);
    return changed;
}

void OnTimer(HWND window) {
    // The bar shows at most one new figure a tick: the worker holds the rest back meanwhile
    // instead of posting thousands of reports a second that no one would see.
    if (launcherState.updateRun)
        launcherState.updateRun->progressUnread.store(false);
    if (StepHoverLevels(launcherState, CursorInClient(window)))
        RequestRepaint(window);
}
