# SPDX-License-Identifier: MIT
# The cross toolchain for Windows with Debian's mingw-w64, included by
# mingw-i686.cmake and mingw-x86_64.cmake once they have set
# CMAKE_SYSTEM_PROCESSOR and FNDL_MINGW_PREFIX.
# Debian ships each compiler in a "-win32" and a "-posix" threading variant;
# the library uses no threads, so either works: the win32 one is preferred
# (no winpthread), the posix one is taken when it is the only one installed.
set(CMAKE_SYSTEM_NAME Windows)

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
  message(FATAL_ERROR "no ${FNDL_MINGW_PREFIX}-g++-win32 or -posix: apt-get install ${FNDL_MINGW_PACKAGE}")
endif()

set(CMAKE_C_COMPILER ${FNDL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${FNDL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${FNDL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FNDL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
