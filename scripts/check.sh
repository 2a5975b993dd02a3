#!/usr/bin/env bash
# make check: installs what is missing, builds the native and Windows trees, runs every suite
# (native unit tests, the manifest fuzzer, the Windows tests under Wine against a local HTTPS
# server, make release, the acceptance suite) and ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
results="$top/build/results"
work="$top/build/check"
jobs=$(nproc)
source scripts/settings.sh

log() { printf '\n==> %s\n' "$*"; }
die() { echo "check: $*" >&2; python3 scripts/summarize.py "$results" || true; exit 1; }

scripts/install-deps.sh || { echo "check: could not install the packages" >&2; exit 1; }
source scripts/wine-arch.sh || exit 1
log "Wine suites take the $VARDENHAL_WINE_ARCH path (build/$VARDENHAL_WINE_TREE): $VARDENHAL_WINE_ARCH_REASON"

rm -rf "$results" "$work"
mkdir -p "$results" "$work"

log "native tree (AddressSanitizer, UBSan)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARDENHAL_SANITIZE=ON >/dev/null || die "configure native"
cmake --build build/native -j "$jobs" || die "build native"

# The acceptance suite's server listens on the port compiled into the Windows trees: the one they
# were built with when it is free, so that a second run builds nothing again, else a free one, so
# that checkouts side by side never share it.
built_port=$(sed -n 's|^VARDENHAL_UPDATE_ROOT:STRING=https://localhost:||p' \
    "build/$VARDENHAL_WINE_TREE/CMakeCache.txt" 2>/dev/null)
port=$(python3 scripts/free-port.py "$built_port") || die "no free loopback port"

# The i686 tree is the product and is built everywhere; the x86_64 one only to run the Wine suites.
trees=(win32)
[ "$VARDENHAL_WINE_TREE" = win32 ] || trees+=("$VARDENHAL_WINE_TREE")
for tree in "${trees[@]}"; do
    log "Windows tree build/$tree (update root https://localhost:$port)"
    scripts/configure-windows.sh "$tree" "build/$tree" "https://localhost:$port" || die "configure $tree"
    cmake --build "build/$tree" -j "$jobs" || die "build $tree"
done

python3 tests/check_program_binary.py build/win32/VardenhalUpdater.exe "$results/program_binary.xml"

log "manifest fuzzer (clang, libFuzzer)"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARDENHAL_FUZZ=ON \
    >/dev/null || die "configure fuzzer"
cmake --build build/fuzz || die "build fuzzer"

log "embedded assets"
if python3 resources/assets/check-assets.py >"$work/assets.log" 2>&1; then
    scripts/junit.sh assets pass "$(tail -n 1 "$work/assets.log")" >"$results/assets.xml"
else
    cat "$work/assets.log"
    scripts/junit.sh assets fail "$(tail -n 1 "$work/assets.log")" >"$results/assets.xml"
fi

# Each test binary runs under tests/run_gtest.py: a test that hangs or grows without bound is
# stopped and fails, and the binary's other tests still run.
log "native unit tests"
python3 tests/run_gtest.py --xml "$results/native_tests.xml" --deadline 120 --growth-mib 256 \
    -- build/native/native_tests || echo "native_tests exit status $?" >>"$results/exit-failures.txt"
python3 tests/run_gtest.py --xml "$results/filelist_tests.xml" --deadline 120 --growth-mib 256 \
    --cwd build/native/tools/filelist -- "$top/build/native/filelist_tests" ||
    echo "filelist_tests exit status $?" >>"$results/exit-failures.txt"

# All of them, so that no test that starts threads can escape: the whole binary takes seconds.
log "native unit tests under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARDENHAL_SANITIZE_THREAD=ON >/dev/null ||
    die "configure ThreadSanitizer tree"
cmake --build build/tsan -j "$jobs" --target native_tests || die "build ThreadSanitizer tree"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" python3 tests/run_gtest.py --name native_tests_tsan \
    --xml "$results/native_tests_tsan.xml" --deadline 120 -- build/tsan/native_tests ||
    echo "native_tests_tsan exit status $?" >>"$results/exit-failures.txt"

log "fuzzing the manifest parser (20 s)"
rm -rf "$work/corpus" && cp -r tests/fuzz/corpus "$work/corpus"
if build/fuzz/manifest_fuzz -max_total_time=20 -print_final_stats=1 "$work/corpus" >"$work/fuzz.log" 2>&1; then
    scripts/junit.sh manifest_fuzz pass "$(grep -m1 stat::number_of_executed_units "$work/fuzz.log")" >"$results/fuzz.xml"
else
    tail -n 30 "$work/fuzz.log"
    scripts/junit.sh manifest_fuzz fail "fuzzer found a failing input (see build/check/fuzz.log)" >"$results/fuzz.xml"
fi

# The WoW64 route runs the Wine suites inside its Debian unstable folder.
in_wine_world=()
[ "$VARDENHAL_WINE_ARCH" = wow64 ] && in_wine_world=(scripts/wow64.sh run)

log "Windows tests under Wine (build/$VARDENHAL_WINE_TREE, $VARDENHAL_WINE_ARCH)"
"${in_wine_world[@]}" tests/run-win-tests.sh "$results" || echo "win_tests exit status $?" >>"$results/exit-failures.txt"

log "make release, signed with a throw-away certificate"
tests/release/run-release-tests.sh "$results" || echo "release tests exit status $?" >>"$results/exit-failures.txt"

log "acceptance suite: the real program under Wine and Xvfb (build/$VARDENHAL_WINE_TREE, $VARDENHAL_WINE_ARCH)"
"${in_wine_world[@]}" tests/run-e2e.sh "$results" || echo "e2e exit status $?" >>"$results/exit-failures.txt"

# The WoW64 folder's mounts live in a namespace of each run; none may outlast it.
left=$(scripts/wow64.sh mounts)
if [ -z "$left" ]; then
    scripts/junit.sh wow64_no_mount_left pass "no mount under build/wow64/root" >"$results/wow64_mounts.xml"
else
    scripts/junit.sh wow64_no_mount_left fail "still mounted: $(echo $left)" >"$results/wow64_mounts.xml"
fi

python3 scripts/summarize.py "$results"
