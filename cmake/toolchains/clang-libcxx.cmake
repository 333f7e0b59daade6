# Native build with clang and LLVM's C++ standard library (libc++), the library that macOS
# ships: code that leans on a libstdc++ habit (a header included by accident, a missing
# <algorithm>, an extension) fails to build here as it would there.
#
#   apt-get install clang libc++-dev libc++abi-dev
#   cmake -S . -B build/libcxx -G Ninja \
#     --toolchain cmake/toolchains/clang-libcxx.cmake -DCMAKE_BUILD_TYPE=Debug
#
# The installed libgtest is built against libstdc++ and cannot be linked with libc++ code:
# NestGTest.cmake builds GoogleTest from its sources when NEST_CXX_STDLIB is libc++.

set(NEST_CXX_STDLIB libc++)

find_program(NEST_CLANG NAMES clang clang-14)
find_program(NEST_CLANGXX NAMES clang++ clang++-14)
if(NOT NEST_CLANGXX)
  message(FATAL_ERROR "clang++ was not found (apt-get install clang)")
endif()
set(CMAKE_C_COMPILER ${NEST_CLANG})
set(CMAKE_CXX_COMPILER ${NEST_CLANGXX})

set(CMAKE_CXX_FLAGS_INIT -stdlib=libc++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -stdlib=libc++)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -stdlib=libc++)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -stdlib=libc++)
