# SPDX-License-Identifier: MIT
# Cross-build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# Debian ships each compiler in a "-win32" and a "-posix" threading variant;
# the library uses no threads, so either works: the win32 one is preferred
# (no winpthread), the posix one is taken when it is the only one installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FNDL_MINGW_PREFIX i686-w64-mingw32)

foreach(variant win32 posix)
  find_program(FNDL_MINGW_CXX ${FNDL_MINGW_PREFIX}-g++-${variant})
  find_program(FNDL_MINGW_CC ${FNDL_MINGW_PREFIX}-gcc-${variant})
  if(FNDL_MINGW_CXX AND FNDL_MINGW_CC)
    break()
  endif()
  unset(FNDL_MINGW_CXX CACHE)
  unset(FNDL_MINGW_CC CACHE)
endforeach()
if(NOT FNDL_MINGW_CXX)
  message(FATAL_ERROR "no ${FNDL_MINGW_PREFIX}-g++-win32 or -posix: apt-get install g++-mingw-w64-i686")
endif()

set(CMAKE_C_COMPILER ${FNDL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${FNDL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${FNDL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FNDL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
