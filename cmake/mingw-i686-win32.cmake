# The shipped module's compilers: the win32 threads flavour of Debian's
# mingw-w64, whose libstdc++ needs no winpthread, which would import functions
# Windows XP lacks (GetTickCount64) and thread-control calls the module never
# makes. GoogleTest needs the posix flavour (mingw-i686.cmake).
set(CALVORINOR_MINGW_FLAVOUR win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
