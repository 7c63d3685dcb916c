# The release: 32-bit Windows (x86), cross-compiled with Debian's MinGW-w64
# (g++-mingw-w64-i686). The win32 thread model keeps the program free of
# the winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(BRINDLEC_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
