# Cross build for 32-bit Windows with Debian's mingw-w64:
#
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=<this file>
#
# The build machine cannot run 32-bit code (not even through Wine), so nothing
# here may run the produced executables: GoogleTest discovery is deferred to
# test time, and the tests are only built.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# gtest_discover_tests() would otherwise run each test executable right after
# linking it.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
