# Cross build for 64-bit Windows (Debian package g++-mingw-w64-x86-64): the
# test suite's Windows build, which 64-bit Wine can run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
# GoogleTest needs std::mutex, which this compiler has only in the posix
# model (its runtime is linked statically).
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Programs built here run under Wine when there is one (ctest and test
# discovery use this).
find_program(MINGW_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MINGW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_WINE})
endif()
