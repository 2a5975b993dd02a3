// Centring a window on the screen.
#pragma once

struct WindowPlacement {
    int x;
    int y;
};

// (screen - outer) / 2 on each axis, truncating toward zero; on a screen smaller than the window
// the position is negative and is used as it is.
WindowPlacement CentreOnScreen(int screenWidth, int screenHeight, int outerWidth, int outerHeight);
