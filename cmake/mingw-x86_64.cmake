# Cross build for 64-bit Windows with Debian's mingw-w64:
#
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=<this file>
#
# CTest runs the tests through 64-bit Wine (scripts/wine64-run).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian 12 has no wine64 on PATH; the wrapper calls /usr/lib/wine/wine64 with a
# private headless prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64-run)
