# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64,
# libz-mingw-w64-dev). Only the core builds this way:
#   cmake -G Ninja -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUARNEL_CORE_ONLY=ON
# Where Wine is installed, CTest runs the tests under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
# The posix thread model: the win32 one of GCC 12 has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Eigen is headers only: the host's package serves the target too.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Executables that carry their runtime (libstdc++, winpthread, zlib) start without DLLs beside
# them, on Windows and under Wine alike.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian's wine64 package puts its loader in /usr/lib/wine. The Wine prefix lives in the build
# folder; no .NET or HTML engine is installed into it. Wine's notes on what it does not
# implement stay quiet, its errors (a program that cannot start or that crashes) do not.
find_program(QUARNEL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUARNEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=fixme-all
      WINEDLLOVERRIDES=mscoree,mshtml= ${QUARNEL_WINE})
endif()
