#!/usr/bin/env bash
# Runs a command on a virtual screen of its own (DISPLAY set for it) and stops the screen after.
#   with-xvfb.sh COMMAND [ARGS...]    exits with the command's status
# Xvfb picks a free display number itself (-displayfd), so runs side by side never race for one
# the way xvfb-run -a does.
set -uo pipefail
source "$(dirname "$0")/settings.sh"
number=$(mktemp)
# shellcheck disable=SC2086
Xvfb -displayfd 3 $VARDENHAL_XVFB_SCREEN -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do
    [ -s "$number" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
done
display=$(head -n 1 "$number")
rm -f "$number"
if [ -z "$display" ]; then
    echo "with-xvfb: Xvfb did not start" >&2
    kill "$xvfb" 2>/dev/null
    exit 1
fi
stop() {
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}
trap stop EXIT
trap 'exit 130' INT TERM
DISPLAY=":$display" "$@"
