# SPDX-License-Identifier: MIT
# cmake --install: the library and its links, the header, qorvfndl.pc, the
# CMake package (qorvfndl::qorvfndl) and, from tools/, fndl with its man page.
include(CMakePackageConfigHelpers)

install(TARGETS qorvfndl EXPORT qorvfndlTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES include/qorvfndl.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# pkg-config: a static library also needs what its object refers to.
# FNDL_PC_WITH_STATIC: the shared build's qorvfndl.pc also serves a
# libqorvfndl.a installed beside it (pkg-config --static), as Debian's -dev
# package ships both.
option(FNDL_PC_WITH_STATIC "qorvfndl.pc lists what a static libqorvfndl.a beside the shared one needs" OFF)
if(BUILD_SHARED_LIBS AND NOT FNDL_PC_WITH_STATIC)
  set(FNDL_PC_REQUIRES_PRIVATE "")
  set(FNDL_PC_LIBS_PRIVATE "")
else()
  set(FNDL_PC_REQUIRES_PRIVATE "fontconfig freetype2")
  set(FNDL_PC_LIBS_PRIVATE "-lstdc++ -lm")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(FNDL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(FNDL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(cmake/qorvfndl.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qorvfndl.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qorvfndl.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

set(FNDL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorvfndl)
install(EXPORT qorvfndlTargets NAMESPACE qorvfndl:: DESTINATION ${FNDL_CMAKE_DIR}
  COMPONENT development)
if(BUILD_SHARED_LIBS)
  set(FNDL_STATIC OFF)
else()
  set(FNDL_STATIC ON)
endif()
configure_package_config_file(cmake/qorvfndlConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qorvfndlConfig.cmake INSTALL_DESTINATION ${FNDL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qorvfndlConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qorvfndlConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/qorvfndlConfigVersion.cmake
  DESTINATION ${FNDL_CMAKE_DIR} COMPONENT development)
