# Picks the Windows architecture that the Wine suites, the demo and the benchmarks run (source this).
# The i686 build is the product and runs wherever this machine can start the 32-bit Wine loader.
# A kernel without IA-32 emulation cannot ("Exec format error"), and Wine 8's experimental WoW64
# mode does not start 32-bit programs either; there an x86_64 build of the same sources runs under
# 64-bit Wine in a win64 prefix of its own.
#   VARDENHAL_WINE_ARCH=win32|win64   forces the choice
# Exports VARDENHAL_WINE_ARCH and VARDENHAL_WINE_ARCH_REASON; the Windows tree the Wine suites
# run is build/$VARDENHAL_WINE_ARCH.
case "${VARDENHAL_WINE_ARCH:-}" in
win32 | win64)
    VARDENHAL_WINE_ARCH_REASON="forced by VARDENHAL_WINE_ARCH=$VARDENHAL_WINE_ARCH"
    ;;
"")
    if _wine_arch_error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
        VARDENHAL_WINE_ARCH=win32
        VARDENHAL_WINE_ARCH_REASON="this machine runs 32-bit programs (the 32-bit Wine loader starts)"
    elif ! _wine_kernel_error=$("$(dirname "${BASH_SOURCE[0]}")/kernel-runs-32bit.sh" 2>&1); then
        # The 32-bit packages are not even installed on such a kernel.
        VARDENHAL_WINE_ARCH=win64
        VARDENHAL_WINE_ARCH_REASON="this machine cannot run 32-bit programs (a 32-bit program: $_wine_kernel_error)"
    else
        VARDENHAL_WINE_ARCH=win64
        VARDENHAL_WINE_ARCH_REASON="this machine cannot run 32-bit programs (/usr/lib/wine/wine: $(
            printf '%s' "$_wine_arch_error" | tail -n 1 | sed 's/.*: //'))"
    fi
    unset _wine_arch_error _wine_kernel_error
    ;;
*)
    echo "VARDENHAL_WINE_ARCH must be win32 or win64, not '$VARDENHAL_WINE_ARCH'" >&2
    return 1 2>/dev/null || exit 1
    ;;
esac
export VARDENHAL_WINE_ARCH VARDENHAL_WINE_ARCH_REASON
