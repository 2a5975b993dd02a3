#!/usr/bin/env bash
# Runs the Windows test binary under Wine and Xvfb against a local HTTPS update server.
#   run-win-tests.sh RESULTS_DIR [FILTER]   writes RESULTS_DIR/win_tests.xml
# It runs the tree that scripts/wine-arch.sh picks (build/win32 or build/win64). With a GoogleTest
# FILTER it runs only those tests, and not the operators' tool round trip. Each test has a
# deadline (VARDENHAL_TEST_DEADLINE seconds, default 120): one that hangs fails, and the rest go on.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
results="$1"
filter="${2:-}"
work="$top/build/check/win"
# A volume a run killed outright left mounted goes first, so that nothing below it is emptied.
umount "$work/small-volume" 2>/dev/null
rm -rf "$work"
mkdir -p "$work/served" "$work/mirror-served" "$work/data" "$work/small-volume"

# Test data made on the Linux side, with md5sum's answer beside it.
head -c $((64 << 20)) /dev/urandom >"$work/data/random-64m.bin"
(cd "$work/data" && md5sum random-64m.bin >random-64m.bin.md5)
# Two served files whose names differ only in letter case, which Wine would make one file: made
# here, with a list that names both (under the root .../updater/two-spellings).
spellings="$work/served/two-spellings/updater"
mkdir -p "$spellings"
printf 'upper\n' >"$spellings/A.txt"
printf 'lower\n' >"$spellings/a.txt"
printf 'A.txt|%s\r\na.txt|%s\r\n' "$(md5sum <"$spellings/A.txt" | cut -c1-32)" \
    "$(md5sum <"$spellings/a.txt" | cut -c1-32)" >"$spellings/filelist.txt"
# A signing key and a signed list made by the operators' tool, which signs with OpenSSL here; the
# tests expect the sequence given.
tool=build/native/vardenhal-filelist
if [ -x "$tool" ]; then
    "$tool" keygen "$work/data/signing.key" >"$work/data/signing.pub" 2>/dev/null &&
        head -c 100000 /dev/urandom >"$work/data/signed.txt" &&
        "$tool" sign "$work/data/signed.txt" -k "$work/data/signing.key" --sequence 1700000000 2>/dev/null ||
        { echo "the tool could not make the signing test data" >&2; exit 1; }
fi

source scripts/settings.sh
source scripts/wine-arch.sh || exit 1
source tests/server/server-lib.sh
CleanUp() {
    StopTestServer
    umount "$work/small-volume" 2>/dev/null
}
trap CleanUp EXIT
trap 'exit 130' INT TERM
# A small volume (48 MiB) for the disk-room tests, where mounting is allowed; they skip elsewhere.
if mount -t tmpfs -o size=48m tmpfs "$work/small-volume" 2>/dev/null; then
    export VARDENHAL_TEST_SMALL_VOLUME="$work/small-volume"
fi
StartTestServer "$work/served" "$work/server" || exit 1
StartMirrorServer "$work/mirror-served" "$work/mirror" || exit 1

scripts/wine-prefix.sh init
export VARDENHAL_TEST_SERVER="$TEST_SERVER_ROOT"
export VARDENHAL_TEST_SERVER_DIR="$work/served"
export VARDENHAL_TEST_DATA="$work/data"
export VARDENHAL_TEST_SERVER_LOG="$work/server/requests.log"
# A second update root over a folder of its own, and one where nothing answers.
export VARDENHAL_TEST_MIRROR="$MIRROR_SERVER_ROOT"
export VARDENHAL_TEST_MIRROR_DIR="$work/mirror-served"
export VARDENHAL_TEST_MIRROR_LOG="$work/mirror/requests.log"
export VARDENHAL_TEST_DOWN_ROOT="$TEST_SERVER_DOWN_ROOT"
export VARDENHAL_TEST_MP3="$top/resources/assets/music.mp3"
scripts/with-xvfb.sh python3 tests/run_gtest.py --xml "$results/win_tests.xml" \
    --deadline "${VARDENHAL_TEST_DEADLINE:-120}" --growth-mib 256 --filter "$filter" \
    --cwd "build/$VARDENHAL_WINE_TREE" -- "$top/scripts/wine-run.sh" "$top/build/$VARDENHAL_WINE_TREE/win_tests.exe"
status=$?

# The operators' tool on Windows signs with bcrypt and keeps keys in OpenSSL's form: each side
# takes the other's key and signature. Its gzip copy of the list must be one gzip reads back.
if [ -x "$tool" ] && [ -z "$filter" ]; then
    wintool() {
        timeout 120 "$top/scripts/wine-run.sh" "$top/build/$VARDENHAL_WINE_TREE/vardenhal-filelist.exe" "$@" \
            2>>"$work/tool.log"
    }
    mkdir -p "$work/signed-folder/system" && echo "[Engine]" >"$work/signed-folder/system/l2.ini"
    (cd "$work" && wintool keygen windows.key >windows.pub &&
        wintool make signed-folder -o signed-folder/filelist.txt --sign windows.key --gzip &&
        gzip -dc signed-folder/filelist.txt.gz | cmp - signed-folder/filelist.txt &&
        "$top/$tool" check signed-folder/filelist.txt signed-folder --public-key "$(cat windows.pub)" &&
        "$top/$tool" sign signed-folder/filelist.txt -k windows.key 2>/dev/null &&
        wintool check signed-folder/filelist.txt --public-key "$(cat windows.pub)") >"$work/tool.out"
    if [ $? -eq 0 ]; then
        scripts/junit.sh filelist_signing_both_ways pass "$(tail -n 1 "$work/tool.out")" >"$results/filelist_signing.xml"
    else
        scripts/junit.sh filelist_signing_both_ways fail "$(cat "$work/tool.out" "$work/tool.log" | tail -n 3)" \
            >"$results/filelist_signing.xml"
    fi
fi
scripts/wine-prefix.sh stop
exit $status
