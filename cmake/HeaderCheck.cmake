# SPDX-License-Identifier: MIT
# The public header and the README's example program, compiled as every C
# and C++ standard a caller may use, with -Wall -Wextra -pedantic (errors with
# FNDL_WERROR); the C89 build is linked and run as a test.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
file(READ ${PROJECT_SOURCE_DIR}/README.md FNDL_README)
string(FIND "${FNDL_README}" "```c\n" FNDL_EXAMPLE_START)
if(FNDL_EXAMPLE_START EQUAL -1)
  message(FATAL_ERROR "README.md has no C example (a block opened by ```c)")
endif()
math(EXPR FNDL_EXAMPLE_START "${FNDL_EXAMPLE_START} + 5")
string(SUBSTRING "${FNDL_README}" ${FNDL_EXAMPLE_START} -1 FNDL_EXAMPLE)
string(FIND "${FNDL_EXAMPLE}" "```" FNDL_EXAMPLE_END)
string(SUBSTRING "${FNDL_EXAMPLE}" 0 ${FNDL_EXAMPLE_END} FNDL_EXAMPLE)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/readme_example/example.c CONTENT "${FNDL_EXAMPLE}" @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/readme_example/example.cpp CONTENT "${FNDL_EXAMPLE}" @ONLY)

set(FNDL_HEADER_TARGETS)
foreach(standard 90 99 11 17)
  add_executable(fndl_readme_c${standard} ${CMAKE_CURRENT_BINARY_DIR}/readme_example/example.c)
  set_target_properties(fndl_readme_c${standard} PROPERTIES
    C_STANDARD ${standard} C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  list(APPEND FNDL_HEADER_TARGETS fndl_readme_c${standard})
endforeach()
foreach(standard 98 11 14 17 20)
  add_executable(fndl_readme_cxx${standard} ${CMAKE_CURRENT_BINARY_DIR}/readme_example/example.cpp)
  set_target_properties(fndl_readme_cxx${standard} PROPERTIES
    CXX_STANDARD ${standard} CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
  list(APPEND FNDL_HEADER_TARGETS fndl_readme_cxx${standard})
endforeach()
foreach(target ${FNDL_HEADER_TARGETS})
  target_compile_options(${target} PRIVATE -pedantic)
  target_link_libraries(${target} PRIVATE fndl_flags qorvfndl)
endforeach()

add_test(NAME ReadmeExample.RunsAsC89
         COMMAND sh -c "rm -f job.pxl && \"$1\" && test -s job.pxl" sh $<TARGET_FILE:fndl_readme_c90>
         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/readme_example)
