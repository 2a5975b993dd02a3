#!/usr/bin/env bash
# The WoW64 route: the i686 build under Debian unstable's Wine, whose WoW64 mode runs 32-bit
# Windows programs with no 32-bit Linux libraries. That Wine needs a newer glibc than Debian 12's,
# so it lives in a Debian unstable folder (build/wow64/root, made once with debootstrap) entered
# with chroot.
#   wow64.sh probe       makes or reuses the folder and starts 32-bit cmd.exe there; exits 0 when
#                        that works, else 1 with a one-line reason on standard error
#   wow64.sh run CMD...  runs CMD from the checkout, inside the folder
#   wow64.sh mounts      lists the mounts of the folder that this system still has (none, normally)
# Inside, /proc, /dev, /dev/pts and the checkout (at its own path) are bind-mounted in a mount
# namespace of the run's own: they are unmounted on every way out, and even a run killed outright
# leaves none behind, as the namespace goes with its last process.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
top_wow64="$here/build/wow64"
root="$top_wow64/root"
mirror=http://deb.debian.org/debian
# cmake for ctest, which runs the Windows test binary; ca-certificates so that the test CA can be
# trusted by the folder's system store, which WinInet under Wine reads.
# The sanitizer runtimes: the suites run the native tree's operators' tool (AddressSanitizer, UBSan) too.
# ImageMagick: the acceptance suite takes and crops its screenshots with it. The GStreamer plugins:
# Wine's MCI plays the launcher's MP3 through them.
packages=(wine64 xvfb xauth openssl ca-certificates python3 cmake libasan8 libubsan1 imagemagick
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
ready="$root/.vardenhal-packages"
WOW64_WINE=/usr/lib/x86_64-linux-gnu/wine

# Progress goes to standard output; standard error carries the reason a probe fails.
say() { echo "wow64: $*"; }

# Makes the folder unless it is there with today's package list; says how long each part took.
make_root() {
    [ -f "$ready" ] && [ "$(cat "$ready")" = "${packages[*]}" ] && return 0
    mkdir -p "$top_wow64"
    if [ "$(id -u)" -ne 0 ]; then
        echo "making the Debian unstable folder needs root" >"$top_wow64/reason"
        return 1
    fi
    local log="$top_wow64/make.log" t0 t1
    : >"$log"
    if ! command -v debootstrap >/dev/null; then
        say "installing debootstrap"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >>"$log" 2>&1 ||
            { echo "debootstrap could not be installed (see build/wow64/make.log)" >"$top_wow64/reason"; return 1; }
    fi
    if [ ! -x "$root/usr/bin/apt-get" ]; then
        [ -z "$(mounts)" ] || { echo "$root still has mounts; not remaking it" >"$top_wow64/reason"; return 1; }
        rm -rf "$root"
        say "making the Debian unstable folder build/wow64/root (debootstrap --variant=minbase sid)"
        t0=$(date +%s)
        debootstrap --variant=minbase sid "$root" "$mirror" >>"$log" 2>&1 ||
            { echo "debootstrap failed: $(tail -n 1 "$log")" >"$top_wow64/reason"; rm -rf "$root"; return 1; }
        t1=$(date +%s)
        say "base system in $((t1 - t0)) s"
    fi
    say "installing ${packages[*]} in the folder"
    t0=$(date +%s)
    # The archive's unstable Release file can be past its Valid-Until date; a mirror mid-sync
    # fails an index now and then, so a failed refresh is tried again.
    inside_plain sh -c "for try in 1 2 3; do apt-get -q -o Acquire::Check-Valid-Until=false update && break; sleep 10; done;
        apt-get install -y -q --no-install-recommends ${packages[*]}" >>"$log" 2>&1 ||
        { echo "installing Wine in the folder failed: $(tail -n 1 "$log")" >"$top_wow64/reason"; return 1; }
    t1=$(date +%s)
    say "packages in $((t1 - t0)) s"
    echo "${packages[*]}" >"$ready"
}

# The folder's mounts that this system has; with the namespace there are none outside a run.
mounts() { awk -v r="$root" 'index($2, r) == 1 { print $2 }' /proc/mounts; }

# Runs a command inside the folder, in a mount namespace of its own.
inside_plain() { unshare --mount --propagation private -- "$here/scripts/wow64.sh" _inside "$@"; }

# In the namespace: mounts, chroot, and the unmounting on every way out.
_inside() {
    local mounted=() child=
    cleanup() {
        trap - EXIT INT TERM HUP
        if [ -n "$child" ]; then
            # The command runs in a process group of its own: all of it ends, then the mounts go.
            kill -TERM -- "-$child" 2>/dev/null
            local i
            for i in $(seq 50); do kill -0 -- "-$child" 2>/dev/null || break; sleep 0.1; done
            kill -KILL -- "-$child" 2>/dev/null
            wait "$child" 2>/dev/null
        fi
        # Anything of the run still holding the checkout (a wineserver waiting for clients) ends first.
        [ -x "$root$WOW64_WINE/wineserver" ] && [ -n "${WINEPREFIX:-}" ] &&
            chroot "$root" env WINEPREFIX="$WINEPREFIX" "$WOW64_WINE/wineserver" -k 2>/dev/null
        local i
        for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
            umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
        done
    }
    trap 'cleanup' EXIT
    trap 'cleanup; exit 130' INT
    trap 'cleanup; exit 143' TERM
    trap 'cleanup; exit 129' HUP
    bind() {
        mkdir -p "$root$1" && mount --bind "$1" "$root$1" || { echo "wow64: could not bind-mount $1" >&2; exit 1; }
        mounted+=("$root$1")
    }
    bind /proc
    bind /dev
    bind /dev/pts
    bind "$here"
    local vars=() v
    for v in $(compgen -e); do
        case "$v" in VARDENHAL_* | BENCH_* | WINEPREFIX | WINEDEBUG | GTEST_* | DISPLAY | TERM) vars+=("$v=${!v}") ;; esac
    done
    set -m
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root USER=root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive VARDENHAL_WOW64_INSIDE=1 "${vars[@]}" \
        sh -c 'cd "$0" && exec "$@"' "$here" "$@" &
    child=$!
    wait "$child"
    local status=$?
    child=
    exit "$status"
}

probe() {
    # A kernel that gives programs no 32-bit code segment cannot run WoW64's 32-bit side at all:
    # that is told in a second, before the folder (minutes and gigabytes) is made.
    mkdir -p "$top_wow64"
    if cc -O1 -o "$top_wow64/code32-probe" "$here/scripts/code32-probe.c" 2>/dev/null &&
        ! "$top_wow64/code32-probe" 2>"$top_wow64/reason"; then
        cat "$top_wow64/reason" >&2
        return 1
    fi
    if ! make_root; then
        cat "$top_wow64/reason" >&2
        return 1
    fi
    local prefix="$top_wow64/probe-prefix" out status
    # One prefix for the probe, made once: wineboot takes longer than the probe itself.
    out=$(WINEPREFIX="$prefix" inside_plain sh -c '
        export HOME="$0/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        mkdir -p "$HOME"
        [ -f "$WINEPREFIX/system.reg" ] || { "$1/wine" wineboot -i >/dev/null 2>&1; "$1/wineserver" -w; }
        # 32-bit cmd.exe named by its file: a kernel that cannot run 32-bit code leaves the
        # prefix without its 32-bit system folder.
        exec timeout 60 "$1/wine" "$1/i386-windows/cmd.exe" /c echo vardenhal-wow64-ok 2>&1
        ' "$top_wow64" "$WOW64_WINE" 2>&1)
    status=$?
    case "$out" in *vardenhal-wow64-ok*) return 0 ;; esac
    local why
    case $status in
    124) why="timed out after 60 s" ;;
    1[3-9][0-9]) why="killed by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null))" ;;
    *) why="exit status $status" ;;
    esac
    # Not the shell's own note of the signal: that is told below.
    out=$(printf '%s\n' "$out" | grep -v -e '^\s*$' -e 'wow64.sh: line [0-9]*:' | tail -n 1)
    echo "32-bit cmd.exe did not start under Wine $(chroot "$root" dpkg-query -W -f='${Version}' wine64 2>/dev/null)" \
        "in WoW64 mode (${out:+$out, }$why)" >&2
    return 1
}

case "${1:-}" in
probe)
    probe
    ;;
run)
    shift
    make_root || { cat "$top_wow64/reason" >&2; exit 1; }
    # No process of ours stays between a signal and the one that unmounts.
    exec unshare --mount --propagation private -- "$here/scripts/wow64.sh" _inside "$@"
    ;;
mounts)
    mounts
    ;;
_inside)
    shift
    _inside "$@"
    ;;
*)
    echo "usage: $0 probe | run CMD... | mounts" >&2
    exit 2
    ;;
esac
