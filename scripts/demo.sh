#!/usr/bin/env bash
# make demo: builds the launcher with a loopback update root, serves a sample update over HTTPS
# on this machine and runs the launcher under Wine in a demo client folder (out/demo-client).
# With a display the launcher opens for you to use; without one it runs headless under Xvfb,
# presses GAME START after the update and saves out/demo-start.png and out/demo-ready.png.
set -euo pipefail
cd "$(dirname "$0")/.."
port=47443

scripts/install-deps.sh
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVARDENHAL_UPDATE_ROOT="https://localhost:$port" >/dev/null
cmake --build build/win32 --target VardenhalUpdater e2e_probe stand_in_client

export WINEPREFIX="$PWD/build/wine/demo-prefix" VARDENHAL_WINE_HOME="$PWD/build/wine/demo-home"
scripts/wine-prefix.sh init
mkdir -p out
if [ -n "${DISPLAY:-}" ]; then
    python3 tests/e2e/demo.py --port "$port" --out out
else
    xvfb-run -a -s "-screen 0 1280x1024x24" python3 tests/e2e/demo.py --port "$port" --out out --headless
fi
