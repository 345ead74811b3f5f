# Cross-compiling the Windows program with MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained exe: no libstdc++/libgcc/winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# zlib from libz-mingw-w64-dev: its static libz.a, not the import library of
# a zlib1.dll the program would need beside it.
set(ZLIB_USE_STATIC_LIBS ON)
