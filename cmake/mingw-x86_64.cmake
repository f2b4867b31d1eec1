# The 64-bit Windows build, run under the 64-bit loader itself: the "wine" wrapper picks the
# 32-bit one where that is installed.
set(OSTREL_MINGW_ARCH x86_64)
set(OSTREL_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
