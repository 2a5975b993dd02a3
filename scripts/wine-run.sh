#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's throw-away prefix.
# CTest uses this as the emulator of the Windows tree; scripts source the environment part.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wine/prefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts, and no desktop entries mirrored from Windows shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A home of our own: the prefix's desktop and ALSA's null device stay inside the build tree.
export HOME="${VARDENHAL_WINE_HOME:-$here/build/wine/home}"
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    exec wine "$@"
fi
