# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix flavour, which has
# std::thread). TARV_WIN_PREFIX is the folder of the libraries built for Windows (Qt, RtMidi,
# GoogleTest): scripts/windows.sh makes it and passes it in. Only that folder and MinGW's own are
# searched for libraries, headers, packages and pkg-config files, so nothing of the host's is
# taken for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# CMake finds the other binary tools by the compiler's name, which the "-posix" suffix hides.
set(CMAKE_STRIP x86_64-w64-mingw32-strip)
set(CMAKE_OBJDUMP x86_64-w64-mingw32-objdump)

# Try-compiles see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARV_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(TARV_WIN_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${TARV_WIN_PREFIX}")
    set(ENV{PKG_CONFIG_LIBDIR} "${TARV_WIN_PREFIX}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_EXECUTABLE x86_64-w64-mingw32-pkg-config CACHE FILEPATH "pkg-config for Windows")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
