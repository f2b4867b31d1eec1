# Cross build for Windows with MinGW-w64, for the architecture the including toolchain file
# names in OSTREL_MINGW_ARCH (i686 or x86_64); test programs run under OSTREL_WINE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OSTREL_MINGW_ARCH})

# The posix thread model: GoogleTest needs std::mutex (winpthreads is linked in statically).
set(CMAKE_C_COMPILER ${OSTREL_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREL_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${OSTREL_MINGW_ARCH}-w64-mingw32-windres)
# The message compiler, for the event log's message table.
set(OSTREL_WINDMC ${OSTREL_MINGW_ARCH}-w64-mingw32-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything linked in: the program and the tests need no MinGW runtime DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${OSTREL_WINE})
