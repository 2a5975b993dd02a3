#!/usr/bin/env bash
# Installs whatever Debian package of scripts/packages.txt is missing; runs no apt-get when none is.
set -euo pipefail
list="$(dirname "$0")/packages.txt"
missing=()
while read -r pkg; do
    [ -z "$pkg" ] || [ "${pkg:0:1}" = "#" ] && continue
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
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
