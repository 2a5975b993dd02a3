#!/usr/bin/env bash
# Configures a Windows tree: Ninja, Release, the MinGW-w64 toolchain of one architecture and the
# update server roots compiled into the program.
#   configure-windows.sh win32|win64 BUILD_DIR ROOTS [more cmake arguments]
# ROOTS is one https:// root, or several separated by single spaces (one argument), the main one first.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
win32) toolchain=cmake/mingw-i686.cmake ;;
win64) toolchain=cmake/mingw-x86_64.cmake ;;
*)
    echo "usage: $0 win32|win64 BUILD_DIR ROOTS [cmake arguments]" >&2
    exit 2
    ;;
esac
exec cmake -S . -B "$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DVARDENHAL_UPDATE_ROOT="$3" "${@:4}" >/dev/null
