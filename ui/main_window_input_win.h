// The main window's pointer input, cursor and animation timer, and the commands its elements
// start on a press.
#pragma once

#include <windows.h>

#include "ui/launcher_state_win.h"

void OnLButtonDown(HWND window, LPARAM lParam);
void OnLButtonUp(HWND window);
void OnMouseMove(HWND window, LPARAM lParam);
// True when it set the hand cursor.
bool OnSetCursor(HWND window);
// One animation tick's easing of every hover level, for a pointer at `cursor` (client
// coordinates); true when a level moved and the window needs painting.
bool StepHoverLevels(LauncherState& state, POINT cursor);
void OnTimer(HWND window);
