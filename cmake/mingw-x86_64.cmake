# Cross toolchain: 64-bit Windows, for running the Windows tests on machines that cannot run
# 32-bit programs. The product stays the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_vardenhal_wine_arch win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
