# Cross build for 32-bit Windows in the posix thread model: the test suite's
# build, which loads the plug-in built with mingw-w64-i686.cmake. GoogleTest
# needs std::mutex, which this compiler has only in that model (its runtime
# is linked statically).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Programs built here run under 32-bit Wine when there is one (ctest and test
# discovery use this); Debian's wine32 puts its loader in /usr/lib/wine.
find_program(MINGW_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(MINGW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_WINE})
endif()
