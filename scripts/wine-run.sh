#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's throw-away prefix.
# CTest uses this as the emulator of the Windows trees; scripts source the environment part.
# The loader and the wineserver are named outright: the wrappers in /usr/bin prefer the 32-bit
# loader and the 64-bit server whenever both are installed, whichever the prefix is.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ -n "${VARDENHAL_WINE_ARCH:-}" ] || source "$here/scripts/wine-arch.sh" || exit 1
export WINEARCH="$VARDENHAL_WINE_ARCH"
if [ -n "${VARDENHAL_WOW64_INSIDE:-}" ]; then
    # In the Debian unstable folder (scripts/wow64.sh): one Wine, whose win64 prefix runs the
    # 32-bit programs too. The i686 tree's CTest emulator says win32; that means this here.
    export WINEARCH=win64 WINELOADER=/usr/lib/x86_64-linux-gnu/wine/wine
    export WINESERVER=/usr/lib/x86_64-linux-gnu/wine/wineserver
    export WINEPREFIX="${WINEPREFIX:-$here/build/wine/prefix-wow64}"
elif [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    export WINEPREFIX="${WINEPREFIX:-$here/build/wine/prefix64}"
else
    export WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
    export WINEPREFIX="${WINEPREFIX:-$here/build/wine/prefix}"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts, and no desktop entries mirrored from Windows shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A home of our own: the prefix's desktop and ALSA's null device stay inside the build tree.
export HOME="${VARDENHAL_WINE_HOME:-$here/build/wine/home}"
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    exec "$WINELOADER" "$@"
fi
