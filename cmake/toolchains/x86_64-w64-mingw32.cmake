# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler; the tests run under Wine,
# which CTest and gtest_discover_tests put in front of every test command.
#
#   apt-get install g++-mingw-w64-x86-64-posix wine
#   cmake -S . -B build/mingw -G Ninja \
#     --toolchain cmake/toolchains/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Debug
#
# The compiler is the one with the POSIX thread model: GCC 12's libstdc++ has std::thread,
# std::mutex and std::condition_variable for MinGW only on top of winpthreads (the "win32"
# thread model lacks them before GCC 13). Every program is linked with -static, so libstdc++,
# libgcc and winpthreads are inside each .exe, which then needs only DLLs that come with Windows
# (KERNEL32.dll and msvcrt.dll, the C runtime that Debian's MinGW-w64 targets by default).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NEST_CROSS_TRIPLE x86_64-w64-mingw32)
set(NEST_CROSS_PREFIX /usr/${NEST_CROSS_TRIPLE})

# Debian installs both thread models side by side (…-g++-posix, …-g++-win32) and points the
# plain name at one of them through update-alternatives: ask for the POSIX one by its name.
find_program(NEST_MINGW_CC NAMES ${NEST_CROSS_TRIPLE}-gcc-posix ${NEST_CROSS_TRIPLE}-gcc
             NO_CMAKE_FIND_ROOT_PATH)
find_program(NEST_MINGW_CXX NAMES ${NEST_CROSS_TRIPLE}-g++-posix ${NEST_CROSS_TRIPLE}-g++
             NO_CMAKE_FIND_ROOT_PATH)
if(NOT NEST_MINGW_CXX)
  message(FATAL_ERROR "${NEST_CROSS_TRIPLE}-g++-posix was not found "
                      "(apt-get install g++-mingw-w64-x86-64-posix)")
endif()
set(CMAKE_C_COMPILER ${NEST_MINGW_CC})
set(CMAKE_CXX_COMPILER ${NEST_MINGW_CXX})
set(CMAKE_RC_COMPILER ${NEST_CROSS_TRIPLE}-windres)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH ${NEST_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine. Debian 12 has /usr/bin/wine (a shell script that starts /usr/lib/wine/wine64 when the
# 32-bit Wine is absent) and no wine64 on the PATH; other systems may have wine64 only.
find_program(NEST_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT NEST_WINE)
  message(WARNING "wine was not found (apt-get install wine): "
                  "the Windows programs build, but the tests cannot run on this machine")
  set(NEST_WINE wine)
endif()
find_program(NEST_WINESERVER NAMES wineserver wineserver64 PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)

# One Wine prefix (a fake C: drive and registry, some 700 MB) serves every build tree: the
# caller's WINEPREFIX, else Wine's own default.
if(DEFINED ENV{WINEPREFIX} AND NOT "$ENV{WINEPREFIX}" STREQUAL "")
  set(_nest_wineprefix "$ENV{WINEPREFIX}")
elseif(DEFINED ENV{HOME} AND NOT "$ENV{HOME}" STREQUAL "")
  set(_nest_wineprefix "$ENV{HOME}/.wine")
else()
  set(_nest_wineprefix /tmp/nest-wineprefix)
endif()
set(NEST_WINEPREFIX "${_nest_wineprefix}" CACHE PATH "Wine prefix in which the tests run")
unset(_nest_wineprefix)

# The test commands run through wine-run.sh beside this file: it starts Wine quietly (no
# diagnostics, no Mono or Gecko installer, no display), creates the prefix on first use, and
# keeps one Wine session for the tests, so that each one starts in milliseconds.
if(NOT NEST_WINESERVER)
  set(NEST_WINESERVER wineserver)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${NEST_WINEPREFIX} NEST_WINE=${NEST_WINE} NEST_WINESERVER=${NEST_WINESERVER}
        sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
