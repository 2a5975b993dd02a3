#include "ui/launcher_state_win.h"

LauncherState launcherState;
