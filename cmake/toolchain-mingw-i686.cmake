# Cross-compiles the 32-bit Windows build with mingw-w64. It is compiled and linked to keep the
# code 32-bit clean; it cannot run on the build machines.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HML_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${HML_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HML_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HML_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HML_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
