# Cross build for 32-bit Windows, the plug-in's own form (Debian package
# g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
# The plug-in starts no threads: the win32 model needs no threading runtime.
set(MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
