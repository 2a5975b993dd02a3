// The Info dialog: a topmost, borderless, self-drawn window with advice for the player, opened
// by INFO over the main window. Not modal; every press of INFO opens another one.
#pragma once

#include <windows.h>

#include "ui/info_dialog.h"

// What one open dialog keeps, from its creation to its destruction: several can be open at once,
// each with its own hover and drag.
struct InfoDialogState {
    bool okHover = false;
    bool closeHover = false;
    bool dragging = false;
    InfoPoint dragAnchor;  // client coordinates of the press that started the drag
};

// The state of an open Info dialog; null for any other window.
InfoDialogState* InfoDialogStateOf(HWND dialog);

// Opens a new dialog centred over `owner`'s outer rectangle; the handle is not kept, the dialog
// closes itself on OK or X and goes with its owner.
void OpenInfoDialog(HWND owner);

LRESULT CALLBACK InfoDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The whole dialog, width x height, painted into `dc` with the given hover states. WM_PAINT
// hands it an off-screen DC; anything else may hand it its own.
void PaintInfoDialog(HDC dc, int width, int height, bool okHover, bool closeHover);
