# Cross build for Windows with Debian's MinGW-w64.
# QV_MINGW_ARCH picks the target: i686 (the shipped installer) or x86_64 (tests on 64-bit-only Wine hosts).
if(NOT QV_MINGW_ARCH)
    set(QV_MINGW_ARCH i686)
endif()
set(QV_MINGW_ARCH "${QV_MINGW_ARCH}" CACHE STRING "MinGW target: i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QV_MINGW_ARCH})
set(_triple ${QV_MINGW_ARCH}-w64-mingw32)
# QV_MINGW_THREADS picks the compilers' thread model: posix (googletest and the tests need its
# std::thread and std::mutex) or win32 (the shipped exe: no threading runtime linked in).
if(NOT QV_MINGW_THREADS)
    set(QV_MINGW_THREADS posix)
endif()
set(QV_MINGW_THREADS "${QV_MINGW_THREADS}" CACHE STRING "MinGW thread model: posix or win32")
set(CMAKE_C_COMPILER ${_triple}-gcc-${QV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${_triple}-g++-${QV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
