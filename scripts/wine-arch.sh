# Picks the Windows architecture that the Wine suites, the demo and the benchmarks run (source this).
# The i686 build is the product and runs wherever this machine can start the 32-bit Wine loader.
# Where it cannot (a kernel without IA-32 emulation: "Exec format error"), the WoW64 route is tried:
# Debian unstable's Wine in a folder of its own (scripts/wow64.sh), whose WoW64 mode runs 32-bit
# Windows programs with no 32-bit Linux libraries. Where that cannot start 32-bit code either, an
# x86_64 build of the same sources runs under 64-bit Wine in a win64 prefix of its own.
#   VARDENHAL_WINE_ARCH=win32|wow64|win64   forces the choice (wow64 fails where it cannot run)
# Exports VARDENHAL_WINE_ARCH, VARDENHAL_WINE_ARCH_REASON and VARDENHAL_WINE_TREE, the Windows
# tree the Wine suites run (build/win32 for win32 and wow64, build/win64 for win64).
_wine_arch_dir="$(dirname "${BASH_SOURCE[0]}")"
case "${VARDENHAL_WINE_ARCH:-}" in
win32 | win64)
    VARDENHAL_WINE_ARCH_REASON="forced by VARDENHAL_WINE_ARCH=$VARDENHAL_WINE_ARCH"
    ;;
wow64)
    # Inside the folder, or in a script that a command which chose the route started, it stands.
    if [ -z "${VARDENHAL_WOW64_INSIDE:-}" ] && [ -z "${VARDENHAL_WOW64_CHOSEN:-}" ]; then
        if ! _wine_wow64_error=$({ "$_wine_arch_dir/wow64.sh" probe 2>&1 >&3; } 3>&2); then
            echo "VARDENHAL_WINE_ARCH=wow64: the WoW64 route cannot run here: $(printf '%s' "$_wine_wow64_error" | tail -n 1)" >&2
            unset _wine_wow64_error _wine_arch_dir
            return 1 2>/dev/null || exit 1
        fi
        VARDENHAL_WINE_ARCH_REASON="forced by VARDENHAL_WINE_ARCH=wow64 (32-bit cmd.exe starts in the Debian unstable folder)"
        VARDENHAL_WOW64_CHOSEN=1
        export VARDENHAL_WOW64_CHOSEN
    fi
    ;;
"")
    if _wine_arch_error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
        VARDENHAL_WINE_ARCH=win32
        VARDENHAL_WINE_ARCH_REASON="this machine runs 32-bit programs (the 32-bit Wine loader starts)"
    else
        if ! _wine_kernel_error=$("$_wine_arch_dir/kernel-runs-32bit.sh" 2>&1); then
            # The 32-bit packages are not even installed on such a kernel.
            _wine_why="a 32-bit program: $_wine_kernel_error"
        else
            _wine_why="/usr/lib/wine/wine: $(printf '%s' "$_wine_arch_error" | tail -n 1 | sed 's/.*: //')"
        fi
        echo "wine-arch: the 32-bit Wine loader cannot start ($_wine_why); trying the WoW64 route" >&2
        if _wine_wow64_error=$({ "$_wine_arch_dir/wow64.sh" probe 2>&1 >&3; } 3>&2); then
            VARDENHAL_WINE_ARCH=wow64
            VARDENHAL_WINE_ARCH_REASON="this machine cannot run 32-bit programs ($_wine_why), but 32-bit cmd.exe starts under WoW64 in the Debian unstable folder"
            VARDENHAL_WOW64_CHOSEN=1
            export VARDENHAL_WOW64_CHOSEN
        else
            VARDENHAL_WINE_ARCH=win64
            VARDENHAL_WINE_ARCH_REASON="this machine cannot run 32-bit programs ($_wine_why), nor the WoW64 route ($(
                printf '%s' "$_wine_wow64_error" | tail -n 1))"
        fi
    fi
    unset _wine_arch_error _wine_kernel_error _wine_why _wine_wow64_error
    ;;
*)
    echo "VARDENHAL_WINE_ARCH must be win32, wow64 or win64, not '$VARDENHAL_WINE_ARCH'" >&2
    unset _wine_arch_dir
    return 1 2>/dev/null || exit 1
    ;;
esac
unset _wine_arch_dir
VARDENHAL_WINE_TREE=win32
[ "$VARDENHAL_WINE_ARCH" = win64 ] && VARDENHAL_WINE_TREE=win64
export VARDENHAL_WINE_ARCH VARDENHAL_WINE_ARCH_REASON VARDENHAL_WINE_TREE
