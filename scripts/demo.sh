#!/usr/bin/env bash
# make demo: builds the launcher with a loopback update root, serves a sample update over HTTPS
# on this machine and runs the launcher under Wine in a demo client folder (out/demo-client).
# With a display the launcher opens for you to use; without one it runs headless under Xvfb,
# presses GAME START after the update and saves out/demo-start.png and out/demo-ready.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/settings.sh

scripts/install-deps.sh
source scripts/wine-arch.sh
echo "demo: the $VARDENHAL_WINE_ARCH path (build/$VARDENHAL_WINE_TREE): $VARDENHAL_WINE_ARCH_REASON"
# The port the tree was built with when it is free, else a free one (see scripts/free-port.py).
port=$(python3 scripts/free-port.py "$(sed -n 's|^VARDENHAL_UPDATE_ROOT:STRING=https://localhost:||p' \
    "build/$VARDENHAL_WINE_TREE/CMakeCache.txt" 2>/dev/null)")
echo "demo: the update server listens on https://localhost:$port"
scripts/configure-windows.sh "$VARDENHAL_WINE_TREE" "build/$VARDENHAL_WINE_TREE" "https://localhost:$port"
cmake --build "build/$VARDENHAL_WINE_TREE" --target VardenhalUpdater e2e_probe stand_in_client
# The WoW64 route runs Wine, the demo server and Xvfb inside its Debian unstable folder.
in_wine_world=()
[ "$VARDENHAL_WINE_ARCH" = wow64 ] && in_wine_world=(scripts/wow64.sh run)

export WINEPREFIX="$PWD/build/wine/demo-prefix-$VARDENHAL_WINE_ARCH" VARDENHAL_WINE_HOME="$PWD/build/wine/demo-home"
"${in_wine_world[@]}" scripts/wine-prefix.sh init
mkdir -p out
if [ -n "${DISPLAY:-}" ]; then
    "${in_wine_world[@]}" python3 tests/e2e/demo.py --port "$port" --out out
else
    "${in_wine_world[@]}" scripts/with-xvfb.sh python3 tests/e2e/demo.py --port "$port" --out out --headless
fi
