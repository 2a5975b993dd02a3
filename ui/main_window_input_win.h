// The main window's pointer input, cursor and animation timer, and the commands its elements
// start on a press.
#pragma once

#include <windows.h>

void OnLButtonDown(HWND window, LPARAM lParam);
void OnLButtonUp(HWND window);
void OnMouseMove(HWND window, LPARAM lParam);
// True when it set the hand cursor.
bool OnSetCursor(HWND window);
void OnTimer(HWND window);
