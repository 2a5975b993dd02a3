#!/usr/bin/env bash
# make release: the launcher for one update server, ready to hand to players.
#   make release ROOT=https://updates.example.net [KEY=<update list public key>]
#                [SIGN_PFX=cert.pfx [SIGN_PASS_FILE=password.txt] [TIMESTAMP_URL=http://...]]
# ROOT may hold several roots separated by single spaces ("https://a.example https://b.example"):
# the main one first, then mirrors that serve the same files.
# Builds the i686 Release exe in build/release with those roots (and key), strips it, signs it with
# Authenticode (SHA-256) when a certificate is given and checks the signature, then writes
# out/release/VardenhalUpdater.exe and out/release/SHA256SUMS. Bad input stops it with one line
# before anything is written under out/release. RELEASE_BUILD and RELEASE_OUT move the two folders.
set -uo pipefail
cd "$(dirname "$0")/.."
root="${ROOT:-}" key="${KEY:-}" pfx="${SIGN_PFX:-}" pass_file="${SIGN_PASS_FILE:-}" tsa="${TIMESTAMP_URL:-}"
build="${RELEASE_BUILD:-build/release}"
out="${RELEASE_OUT:-out/release}"
exe=VardenhalUpdater.exe

die() {
    echo "make release: $*" >&2
    exit 1
}

# --- the input, before anything is built -------------------------------------------------------
[ -n "$root" ] || die "ROOT is missing: make release ROOT=https://updates.example.net"
# Each root a host name or an IPv4 address, an optional port, nothing after it; one space between
# roots and none around them, as the launcher's SplitUpdateRoots takes them.
root_form='https://[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]{1,5})?'
set -f  # split on spaces, never globbed
roots=($root)
set +f
if ! [[ "$root" =~ ^$root_form( $root_form)*$ ]]; then
    for one in "${roots[@]}"; do
        [[ "$one" =~ ^$root_form$ ]] || die "ROOT must be https:// and a host, with no path and no trailing slash (got '$one')"
    done
    die "ROOT must be roots separated by single spaces, with no space before or after them (got '${root//$'\n'/\\n}')"
fi
for one in "${roots[@]}"; do
    [[ "$one" != https://*:* ]] || ((10#${one##*:} >= 1 && 10#${one##*:} <= 65535)) ||
        die "ROOT has a port outside 1-65535 (got '$one')"
done
if [ -n "$key" ]; then
    [[ ${#key} -eq 124 && "$key" =~ ^MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE[A-Za-z0-9+/]+==$ ]] ||
        die "KEY is not a public key printed by vardenhal-filelist keygen"
fi
[ -z "$pass_file" ] || [ -n "$pfx" ] || die "SIGN_PASS_FILE is given without SIGN_PFX"
[ -z "$tsa" ] || [ -n "$pfx" ] || die "TIMESTAMP_URL is given without SIGN_PFX"
scripts/install-deps.sh >/dev/null || die "could not install the packages"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$pfx" ]; then
    [ -f "$pfx" ] && [ -r "$pfx" ] || die "cannot read the certificate SIGN_PFX=$pfx"
    [ -z "$pass_file" ] || [ -r "$pass_file" ] || die "cannot read the password file SIGN_PASS_FILE=$pass_file"
    [ -n "$pass_file" ] || : >"$work/empty-password"
    pass_file="${pass_file:-$work/empty-password}"
    # The certificates of the file, which also proves the password; older files need the legacy
    # ciphers of OpenSSL 3.
    openssl pkcs12 -in "$pfx" -passin "file:$pass_file" -nokeys -out "$work/chain.pem" 2>/dev/null ||
        openssl pkcs12 -legacy -in "$pfx" -passin "file:$pass_file" -nokeys -out "$work/chain.pem" 2>/dev/null ||
        die "cannot open the certificate $pfx: wrong password, or not a PKCS#12 file"
    grep -q 'BEGIN CERTIFICATE' "$work/chain.pem" || die "the certificate $pfx holds no certificate"
fi

# --- build, strip, sign --------------------------------------------------------------------------
scripts/configure-windows.sh win32 "$build" "$root" -DVARDENHAL_MANIFEST_PUBLIC_KEY="$key" ||
    die "cannot configure $build"
cmake --build "$build" -j "$(nproc)" --target VardenhalUpdater >"$work/build.log" 2>&1 ||
    { tail -n 20 "$work/build.log" >&2; die "the build failed (log above)"; }
i686-w64-mingw32-strip -o "$work/$exe" "$build/$exe" || die "cannot strip $build/$exe"

compiled_root=$(strings -n 9 "$work/$exe" | grep -E '^https://[^/ ]+( https://[^/ ]+)*$' | sort -u)
[ "$compiled_root" = "$root" ] || die "the exe holds the roots '$compiled_root', not '$root'"

signed_by="not signed (no SIGN_PFX)"
if [ -n "$pfx" ]; then
    timestamp=()
    [ -z "$tsa" ] || timestamp=(-ts "$tsa")
    osslsigncode sign -pkcs12 "$pfx" -readpass "$pass_file" -h sha256 "${timestamp[@]}" \
        -in "$work/$exe" -out "$work/signed.exe" >"$work/sign.log" 2>&1 ||
        die "signing failed: $(grep -v '^$' "$work/sign.log" | tail -n 1)"
    # Trusted for the check: the system's authorities and the file's own certificates, so that a
    # test certificate passes too; what is checked is that the signature covers these bytes.
    cat /etc/ssl/certs/ca-certificates.crt "$work/chain.pem" >"$work/trusted.pem"
    osslsigncode verify -in "$work/signed.exe" -CAfile "$work/trusted.pem" -TSA-CAfile "$work/trusted.pem" \
        >"$work/verify.log" 2>&1 || die "the signature does not verify: $(grep -v '^$' "$work/verify.log" | tail -n 1)"
    mv "$work/signed.exe" "$work/$exe"
    signed_by="signed by $(openssl x509 -in "$work/chain.pem" -noout -subject | sed 's/^subject= *//'), SHA-256"
    signed_by+=", ${tsa:+timestamped by $tsa}${tsa:-no timestamp}"
fi

# --- out/release, all or nothing -----------------------------------------------------------------
(cd "$work" && sha256sum "$exe" >SHA256SUMS) || die "cannot compute the checksum"
mkdir -p "$out" || die "cannot create $out"
cp "$work/$exe" "$out/.$exe.part" && cp "$work/SHA256SUMS" "$out/.SHA256SUMS.part" &&
    mv -f "$out/.$exe.part" "$out/$exe" && mv -f "$out/.SHA256SUMS.part" "$out/SHA256SUMS" ||
    { rm -f "$out/.$exe.part" "$out/.SHA256SUMS.part"; die "cannot write to $out"; }

imports=$(i686-w64-mingw32-objdump -p "$out/$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | paste -sd, | sed 's/,/, /g')
compiled_roots=($compiled_root)
echo "root compiled in (read from the exe): ${compiled_roots[0]}"
for one in "${compiled_roots[@]:1}"; do
    echo "mirror compiled in (read from the exe): $one"
done
echo "update list key: ${key:-none (the list is taken as the server sends it)}"
echo "$out/$exe: $(stat -c %s "$out/$exe") bytes, $signed_by"
echo "$out/SHA256SUMS: $(cut -d' ' -f1 "$out/SHA256SUMS")"
echo "imports: $imports"
