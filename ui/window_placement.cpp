#include "ui/window_placement.h"

WindowPlacement CentreOnScreen(int screenWidth, int screenHeight, int outerWidth, int outerHeight) {
    return WindowPlacement{(screenWidth - outerWidth) / 2, (screenHeight - outerHeight) / 2};
}
