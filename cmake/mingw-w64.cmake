# Shared part of the MinGW-w64 cross toolchains (posix thread model, for std::thread in tests).
# The including file sets CMAKE_SYSTEM_PROCESSOR and _vardenhal_wine_arch first.
set(CMAKE_SYSTEM_NAME Windows)
set(_vardenhal_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${_vardenhal_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vardenhal_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_vardenhal_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_vardenhal_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test binaries run under Wine of the tree's own architecture, in a throw-away prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env VARDENHAL_WINE_ARCH=${_vardenhal_wine_arch}
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
