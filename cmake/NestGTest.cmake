# GoogleTest for the tests, whatever the build: include(NestGTest) where the project would call
# find_package(GTest). Afterwards the targets GTest::gtest, GTest::gtest_main, GTest::gmock and
# GTest::gmock_main exist, the GoogleTest module is included, and
# nest_gtest_discover_tests(<target> [gtest_discover_tests options...]) registers a test
# program's tests with the discovery settings that suit the build.
#
# A native build with the system's libstdc++ uses the installed GoogleTest (libgtest-dev,
# libgmock-dev). That one is compiled for x86-64 against libstdc++, so a cross build (aarch64,
# Windows) or a build against libc++ compiles GoogleTest from the sources that Debian's
# googletest package puts in /usr/src/googletest (NEST_GTEST_FROM_SOURCE), as part of this
# build: only the libraries the tests link are built, without the project's warning flags,
# and their headers are included as system headers so that the project's warnings (and
# -Werror) do not reach into them.
#
# When the test programs run under an emulator (CMAKE_CROSSCOMPILING_EMULATOR: qemu-aarch64 or
# Wine), listing a program's tests takes longer than natively, and Wine's first start in a new
# prefix takes several seconds: the tests are then listed when CTest runs (PRE_TEST) rather
# than by the build, with a generous time limit (NEST_GTEST_DISCOVERY_TIMEOUT).

include_guard(GLOBAL)

set(_nest_gtest_from_source OFF)
if(CMAKE_CROSSCOMPILING
   OR NEST_CXX_STDLIB STREQUAL "libc++"
   OR CMAKE_CXX_FLAGS MATCHES "-stdlib=libc\\+\\+")
  set(_nest_gtest_from_source ON)
endif()
option(NEST_GTEST_FROM_SOURCE
       "Build GoogleTest from its sources instead of using the installed libraries"
       ${_nest_gtest_from_source})
unset(_nest_gtest_from_source)
set(NEST_GTEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest's sources, built when NEST_GTEST_FROM_SOURCE is on")

if(NEST_GTEST_FROM_SOURCE)
  if(NOT EXISTS "${NEST_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR
      "GoogleTest's sources are not in ${NEST_GTEST_SOURCE_DIR} (apt-get install googletest, "
      "or set NEST_GTEST_SOURCE_DIR)")
  endif()

  # GoogleTest's own options, as plain variables, which its option() calls keep under policy
  # CMP0077 (its CMakeLists.txt files reset the policies with cmake_minimum_required).
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
  set(BUILD_GMOCK ON)
  set(INSTALL_GTEST OFF)
  set(gtest_build_tests OFF)
  set(gtest_build_samples OFF)
  set(gmock_build_tests OFF)
  set(BUILD_SHARED_LIBS OFF)

  # The subdirectory inherits this directory's compile options: keep all but the warning
  # flags (sanitizer and code generation flags must stay alike on both sides).
  get_directory_property(_nest_gtest_saved_options COMPILE_OPTIONS)
  set(_nest_gtest_options "")
  foreach(_nest_gtest_option IN LISTS _nest_gtest_saved_options)
    if(NOT _nest_gtest_option MATCHES "^-W" AND NOT _nest_gtest_option MATCHES "^-pedantic")
      list(APPEND _nest_gtest_options "${_nest_gtest_option}")
    endif()
  endforeach()
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_nest_gtest_options}")
  add_subdirectory("${NEST_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_nest_gtest_saved_options}")
  unset(CMAKE_POLICY_DEFAULT_CMP0077)
  unset(_nest_gtest_saved_options)
  unset(_nest_gtest_options)
  unset(_nest_gtest_option)

  foreach(_nest_gtest_lib IN ITEMS gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_nest_gtest_lib})
      add_library(GTest::${_nest_gtest_lib} ALIAS ${_nest_gtest_lib})
    endif()
  endforeach()
  unset(_nest_gtest_lib)
else()
  find_package(GTest REQUIRED)
endif()

include(GoogleTest)

if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(_nest_gtest_timeout 120)
  set(_nest_gtest_mode PRE_TEST)
else()
  set(_nest_gtest_timeout 30)
  set(_nest_gtest_mode POST_BUILD)
endif()
set(NEST_GTEST_DISCOVERY_TIMEOUT ${_nest_gtest_timeout} CACHE STRING
    "Seconds that a test program may take to list its tests")
set(NEST_GTEST_DISCOVERY_MODE ${_nest_gtest_mode} CACHE STRING
    "When the test programs list their tests: POST_BUILD (when built) or PRE_TEST (by CTest)")
set_property(CACHE NEST_GTEST_DISCOVERY_MODE PROPERTY STRINGS POST_BUILD PRE_TEST)
unset(_nest_gtest_timeout)
unset(_nest_gtest_mode)
# The default of every gtest_discover_tests call in the project, nest_gtest_discover_tests's or
# not.
if(NOT CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE ${NEST_GTEST_DISCOVERY_MODE})
endif()

# gtest_discover_tests with this build's discovery mode and time limit; options given by the
# caller come last and so win.
function(nest_gtest_discover_tests target)
  gtest_discover_tests(${target}
    DISCOVERY_MODE ${NEST_GTEST_DISCOVERY_MODE}
    DISCOVERY_TIMEOUT ${NEST_GTEST_DISCOVERY_TIMEOUT}
    ${ARGN})
endfunction()

# A Windows build tested under Wine: start Wine once now. On a new prefix this takes several
# seconds (Wine creates it), more than gtest_discover_tests allows by default (5 s) to the first
# test program that lists its tests.
if(CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot
                  RESULT_VARIABLE _nest_wine_result OUTPUT_QUIET ERROR_QUIET TIMEOUT 300)
  if(NOT _nest_wine_result EQUAL 0)
    message(WARNING "Wine does not start (${_nest_wine_result}): the tests will not run")
  endif()
  unset(_nest_wine_result)
endif()
