# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DKIRAKE_NATIVE_BUILD=$PWD/build
# The programs are linked statically (libgcc, libstdc++, winpthread): they need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIRAKE_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KIRAKE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIRAKE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KIRAKE_MINGW}-windres)
set(CMAKE_AR ${KIRAKE_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KIRAKE_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KIRAKE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Prefer static archives (zlib: libz.a over libz.dll.a).
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs run under Wine when a test or a build step starts one.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
