#!/usr/bin/env bash
# Installs whatever Debian package of scripts/packages.txt is missing; runs no apt-get when none is.
set -euo pipefail
list="$(dirname "$0")/packages.txt"
native=$(dpkg --print-architecture)
# The i386 packages serve only the 32-bit Wine loader, which a kernel without IA-32 emulation
# cannot start: there they are left out, and so is the i386 package index.
runs32=yes
"$(dirname "$0")/kernel-runs-32bit.sh" 2>/dev/null || runs32=no
missing=()
while read -r pkg; do
    [ -z "$pkg" ] || [ "${pkg:0:1}" = "#" ] && continue
    [ "$runs32" = no ] && [ "${pkg%:i386}" != "$pkg" ] && continue
    # A name without an architecture means the native one (or "all"); asked bare, dpkg answers
    # for every architecture installed, and the GStreamer plugins are there for two.
    name=${pkg%%:*} arch=${pkg#*:}
    [ "$arch" != "$pkg" ] || arch="($native|all)"
    dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null |
        grep -qxE "install ok installed $arch" || missing+=("$pkg")
done <"$list"
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages and not root: install them with apt-get" >&2
    exit 1
fi
if [ "$runs32" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
archs=()
[ "$runs32" = yes ] || archs=(-o "APT::Architectures::=$native")
# A mirror caught mid-sync fails one index now and then; what is needed usually comes from the
# others, so a failed refresh is tried again and then let through to the install, which tells.
for try in 1 2 3; do
    apt-get "${archs[@]}" update -q && break
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 20
done
apt-get "${archs[@]}" install -y -q --no-install-recommends "${missing[@]}"
