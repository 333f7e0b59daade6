# Cross build for 64-bit ARM Linux with Debian's cross compiler; the tests run under QEMU's user
# mode emulator, which CTest and gtest_discover_tests put in front of every test command.
#
#   apt-get install g++-aarch64-linux-gnu qemu-user
#   cmake -S . -B build/aarch64 -G Ninja \
#     --toolchain cmake/toolchains/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Debug
#
# The programs are linked dynamically against the target's glibc and libstdc++, which Debian
# installs under /usr/aarch64-linux-gnu: qemu-aarch64 is told to look there for the dynamic
# loader and the libraries. It is told so by QEMU_LD_PREFIX rather than by its option -L, since
# the variable passes on to the programs' own child processes. No binfmt_misc registration is
# needed, since the emulator is named on each test's command line; but a test program that
# starts another aarch64 program by itself (fork and exec, posix_spawn, system) fails with
# ENOEXEC unless the kernel knows to hand aarch64 programs to qemu-aarch64 (binfmt_misc), or
# unless it starts them through qemu-aarch64 itself.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(NEST_CROSS_TRIPLE aarch64-linux-gnu)
set(NEST_CROSS_PREFIX /usr/${NEST_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${NEST_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${NEST_CROSS_TRIPLE}-g++)

# Look for the target's libraries, headers and CMake packages only in its own tree, so that
# the build machine's x86-64 ones (libgtest among them) are never picked up; look for programs
# only on the build machine.
set(CMAKE_FIND_ROOT_PATH ${NEST_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(NEST_QEMU_AARCH64 qemu-aarch64 NO_CMAKE_FIND_ROOT_PATH)
if(NOT NEST_QEMU_AARCH64)
  message(WARNING "qemu-aarch64 was not found (apt-get install qemu-user): "
                  "the aarch64 programs build, but the tests cannot run on this machine")
  set(NEST_QEMU_AARCH64 qemu-aarch64)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR env QEMU_LD_PREFIX=${NEST_CROSS_PREFIX} ${NEST_QEMU_AARCH64})
