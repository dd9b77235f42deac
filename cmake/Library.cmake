# SPDX-License-Identifier: MIT
# libqorvfndl for callers: the exported calls and nothing else visible.
#
# Shared (the default): libqorvfndl.so.0.2.0 with SONAME libqorvfndl.so.0;
# everything but the exports has hidden visibility.
#
# Static (BUILD_SHARED_LIBS=OFF): libqorvfndl.a holds one object, made by a
# partial link of the library's objects with their section groups resolved,
# after which every hidden symbol becomes local. What is left global is the
# calls and references to the C++ runtime, fontconfig and FreeType, so a
# program that has its own GetFontData, XLStreamCreate or std:: instantiations
# links without clashes (scripts/builds.sh checks both with nm).
if(BUILD_SHARED_LIBS)
  add_library(qorvfndl SHARED ${FNDL_LIBRARY_OBJECTS})
  target_link_libraries(qorvfndl PRIVATE $<BUILD_INTERFACE:fndl_flags> PkgConfig::FONTDEPS)
  target_link_options(qorvfndl PRIVATE -Wl,--no-undefined)
  set_target_properties(qorvfndl PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
else()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "a static libqorvfndl needs objcopy (binutils)")
  endif()
  set(FNDL_MERGED_OBJECT ${CMAKE_CURRENT_BINARY_DIR}/qorvfndl-merged.o)
  add_custom_command(
    OUTPUT ${FNDL_MERGED_OBJECT}
    COMMAND ${CMAKE_LINKER} -r --force-group-allocation -o ${FNDL_MERGED_OBJECT}.partial
            --whole-archive $<TARGET_FILE:qorvfndl_static>
    COMMAND ${CMAKE_OBJCOPY} --localize-hidden ${FNDL_MERGED_OBJECT}.partial ${FNDL_MERGED_OBJECT}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${FNDL_MERGED_OBJECT}.partial
    DEPENDS qorvfndl_static
    COMMENT "Linking the library's objects into one, internal symbols local"
    VERBATIM)
  set_source_files_properties(${FNDL_MERGED_OBJECT} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_library(qorvfndl STATIC ${FNDL_MERGED_OBJECT})
  set_target_properties(qorvfndl PROPERTIES LINKER_LANGUAGE CXX)
  # What the one object still refers to.
  target_link_libraries(qorvfndl PUBLIC PkgConfig::FONTDEPS stdc++ m)
endif()
add_library(qorvfndl::qorvfndl ALIAS qorvfndl)
target_include_directories(qorvfndl PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
