# Cross-compiling for 64-bit Windows on Debian with MinGW-w64 (the POSIX threads variant, which
# Qt's MinGW builds use), against a Qt built for Windows:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DVORNEL_QT_KIT=<Qt for Windows> -DQT_HOST_PATH=<Qt for Linux with moc, rcc, uic>
# tools/windows-build.sh does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(vornel_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${vornel_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${vornel_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${vornel_mingw}-windres)

# Libraries, headers and packages come from the MinGW tree and the Qt kit only, never from the
# build machine; programs (moc and the like) run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${vornel_mingw})
if(VORNEL_QT_KIT)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${VORNEL_QT_KIT})
    list(PREPEND CMAKE_PREFIX_PATH ${VORNEL_QT_KIT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler checks build small programs with this file too: they need the same kit.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORNEL_QT_KIT)
