# 64-bit Windows (x64), cross-compiled with Debian's MinGW-w64
# (g++-mingw-w64-x86-64): the build that runs under Wine on machines that
# run no 32-bit code. The win32 thread model keeps the program free of the
# winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(BRINDLEC_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINDLEC_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${BRINDLEC_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${BRINDLEC_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLEC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
