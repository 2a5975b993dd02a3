#!/usr/bin/env bash
# Makes a fresh Wine prefix (one wineboot per run) or ends its wineserver.
#   wine-prefix.sh init   remove and recreate the prefix and its home
#   wine-prefix.sh stop   wineserver -k
set -euo pipefail
source "$(dirname "$0")/wine-run.sh"
case "${1:-}" in
init)
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$HOME"
    mkdir -p "$HOME" "$(dirname "$WINEPREFIX")"
    # Headless machines have no sound card; MCI still needs a default ALSA device to play into.
    printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"
    "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 init|stop" >&2
    exit 2
    ;;
esac
