# Cross build for 32-bit Windows with Debian's i686 MinGW compilers (posix threads,
# so std::thread and std::mutex work). The runtime is linked statically: the
# binaries need nothing but Windows system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows programs built here run under Wine (Debian names it wine-stable, or
# /usr/lib/wine/wine), through a wrapper that keeps a Wine prefix of the
# build's own and creates it on first use.
find_program(TORVANE_WINE NAMES wine wine-stable PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/../scripts/win32-wine.sh ${CMAKE_BINARY_DIR}/wineprefix)
endif()
