#!/usr/bin/env bash
# Installs whatever Debian package of scripts/packages.txt is missing; runs no apt-get when none is.
set -euo pipefail
list="$(dirname "$0")/packages.txt"
native=$(dpkg --print-architecture)
missing=()
while read -r pkg; do
    [ -z "$pkg" ] || [ "${pkg:0:1}" = "#" ] && continue
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
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
