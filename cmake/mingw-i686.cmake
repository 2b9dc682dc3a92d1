# Cross-compiles for 32-bit Windows with Debian's mingw-w64. The posix threads
# flavour by default, which GoogleTest needs for std::mutex; mingw-i686-win32.cmake
# picks the win32 flavour for the module that ships.
if(NOT CALVORINOR_MINGW_FLAVOUR)
    set(CALVORINOR_MINGW_FLAVOUR posix)
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${CALVORINOR_MINGW_FLAVOUR})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${CALVORINOR_MINGW_FLAVOUR})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
