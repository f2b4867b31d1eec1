# The 32-bit Windows build, run under the "wine" wrapper (its 32-bit loader).
set(OSTREL_MINGW_ARCH i686)
set(OSTREL_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
