#!/usr/bin/env bash
# Runs the acceptance suite: the real launcher under Wine and Xvfb against the local HTTPS server.
#   run-e2e.sh RESULTS_DIR [SCENARIO...]   writes RESULTS_DIR/e2e.xml; all scenarios, or those named
# The Windows tree that scripts/wine-arch.sh picks must be configured with
# VARDENHAL_UPDATE_ROOT=https://localhost:PORT (as its first root).
set -uo pipefail
cd "$(dirname "$0")/.."
results="$1"
shift
only=()
[ $# -gt 0 ] && only=(--only "$@")
source scripts/settings.sh
source scripts/wine-arch.sh || exit 1
root=$(sed -n 's/^VARDENHAL_UPDATE_ROOT:STRING=//p' "build/$VARDENHAL_WINE_TREE/CMakeCache.txt")
root="${root%% *}"  # the main one, where the tree holds several
port="${root##*:}"
case "$root" in
https://localhost:*) ;;
*)
    echo "build/$VARDENHAL_WINE_TREE has the update root '$root'; the acceptance suite needs https://localhost:PORT" >&2
    exit 1
    ;;
esac
scripts/wine-prefix.sh init
scripts/with-xvfb.sh python3 tests/e2e/run_e2e.py --port "$port" --results "$results" \
    --screenshots build/check/e2e-screenshots "${only[@]}"
status=$?
scripts/wine-prefix.sh stop
exit $status
