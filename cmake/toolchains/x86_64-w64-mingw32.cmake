# 64-bit Windows (x64), cross-compiled with Debian's MinGW-w64
# (g++-mingw-w64-x86-64): the build that runs under Wine on machines that
# run no 32-bit code. The win32 thread model keeps the program free of the
# winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(BRINDLEC_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
