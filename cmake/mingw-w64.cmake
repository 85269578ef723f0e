# Shared part of the mingw-w64 toolchain files: a cross build for Windows with
# the compilers of MINGW_TRIPLE in thread model MINGW_THREADS (win32 or
# posix), both set by the including file.
set(CMAKE_SYSTEM_NAME Windows)

foreach(tool gcc g++)
  find_program(MINGW_${tool} NAMES ${MINGW_TRIPLE}-${tool}-${MINGW_THREADS} REQUIRED)
endforeach()
set(CMAKE_C_COMPILER ${MINGW_gcc})
set(CMAKE_CXX_COMPILER ${MINGW_g++})
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
