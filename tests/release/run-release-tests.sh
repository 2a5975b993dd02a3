#!/usr/bin/env bash
# make release with a throw-away self-signed certificate: a signed release that osslsigncode
# accepts, with a matching SHA256SUMS; an unsigned one with two roots; a wrong password and bad
# roots that leave nothing behind.
#   run-release-tests.sh RESULTS_DIR    writes RESULTS_DIR/release_*.xml
set -uo pipefail
cd "$(dirname "$0")/../.."
results="$1"
work="$PWD/build/check/release"
rm -rf "$work"
mkdir -p "$work"
export RELEASE_OUT="$work/out"

report() { scripts/junit.sh "release_$1" "$2" "$3" >"$results/release_$1.xml"; }

# Refused with one line of ours on standard error (make adds its own "Error 1" line after it, as
# "make[1]" under make check), and no out folder made.
refused() {  # name, then make's arguments
    local name="$1" status
    shift
    make -s release "$@" >"$work/$name.out" 2>"$work/$name.all"
    status=$?
    grep -Ev '^make(\[[0-9]+\])?: \*\*\*' "$work/$name.all" >"$work/$name.err"
    if [ "$status" -eq 0 ]; then
        report "$name" fail "make release $* succeeded"
    elif [ "$(grep -c . <"$work/$name.err")" -ne 1 ] || [ -e "$RELEASE_OUT" ]; then
        report "$name" fail "want one line and no $RELEASE_OUT; got: $(head -c 300 "$work/$name.err")"
    else
        report "$name" pass "$(cat "$work/$name.err")"
    fi
}

openssl req -x509 -newkey rsa:3072 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Vardenhal Release Test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
    printf 'correct horse' >"$work/password" && printf 'wrong horse' >"$work/wrong-password" &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
        -passout "file:$work/password" || { report certificate fail "openssl could not make the test certificate"; exit 1; }

for bad in "https://" "http://updates.example.net" "https://updates.example.net/" "https://updates.example.net/x" \
    "https://updates.example.net http://mirror.example.net"; do
    refused "root_${#bad}" ROOT="$bad"
done
refused wrong_password ROOT=https://updates.example.net SIGN_PFX="$work/cert.pfx" SIGN_PASS_FILE="$work/wrong-password"

root=https://updates.vardenhal.example
if ! make -s release ROOT="$root" SIGN_PFX="$work/cert.pfx" SIGN_PASS_FILE="$work/password" >"$work/good.out" 2>&1; then
    report signed fail "make release failed: $(tail -n 3 "$work/good.out")"
    exit 0
fi
if osslsigncode verify -in "$RELEASE_OUT/VardenhalUpdater.exe" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1; then
    report signed pass "$(grep -m1 'Signature verification' "$work/verify.log")"
else
    report signed fail "osslsigncode verify: $(tail -n 2 "$work/verify.log")"
fi
if (cd "$RELEASE_OUT" && sha256sum --quiet -c SHA256SUMS) && [ "$(ls "$RELEASE_OUT")" = "$(printf 'SHA256SUMS\nVardenhalUpdater.exe')" ]; then
    report checksum pass "$(cat "$RELEASE_OUT/SHA256SUMS")"
else
    report checksum fail "SHA256SUMS does not match, or $RELEASE_OUT holds more: $(ls "$RELEASE_OUT")"
fi
if grep -qx "root compiled in (read from the exe): $root" "$work/good.out" && grep -q '^imports: .*KERNEL32.dll' "$work/good.out"; then
    report report pass "$(head -n 1 "$work/good.out")"
else
    report report fail "the root or the imports are not printed: $(cat "$work/good.out")"
fi

# Several roots: each read back from the exe, the main one first.
roots="$root https://mirror.vardenhal.example:8443"
if ! make -s release ROOT="$roots" >"$work/roots.out" 2>&1; then
    report roots fail "make release failed: $(tail -n 3 "$work/roots.out")"
elif [ "$(grep 'compiled in' "$work/roots.out")" = "root compiled in (read from the exe): $root
mirror compiled in (read from the exe): https://mirror.vardenhal.example:8443" ]; then
    report roots pass "$(grep 'compiled in' "$work/roots.out" | paste -sd';')"
else
    report roots fail "the two roots are not printed: $(cat "$work/roots.out")"
fi
