# Cross toolchain: 32-bit Windows, the product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_vardenhal_wine_arch win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
