# The system ships in two builds of one source. A library or program whose code differs between
# them is built twice: NAME_first and NAME_second, the second compiled with SECOND_BUILD defined.
# Programs keep their names and land in first/ and second/ under the build folder.
#
# Arguments of both functions:
#   SOURCES   the sources, shared by both builds
#   LIBRARIES libraries linked as they are
#   DUAL_LIBRARIES  two-build libraries, linked as NAME_first or NAME_second to match

set(TWO_BUILDS first second)

function(_two_builds_configure target build)
  cmake_parse_arguments(ARG "" "" "LIBRARIES;DUAL_LIBRARIES" ${ARGN})
  if(build STREQUAL "second")
    target_compile_definitions(${target} PUBLIC SECOND_BUILD=1)
  endif()
  set(dual_libraries)
  foreach(dual ${ARG_DUAL_LIBRARIES})
    list(APPEND dual_libraries ${dual}_${build})
  endforeach()
  target_link_libraries(${target} PUBLIC ${ARG_LIBRARIES} ${dual_libraries})
endfunction()

function(add_dual_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DUAL_LIBRARIES" ${ARGN})
  foreach(build ${TWO_BUILDS})
    add_library(${name}_${build} STATIC ${ARG_SOURCES})
    target_include_directories(${name}_${build} PUBLIC ${CMAKE_SOURCE_DIR})
    _two_builds_configure(${name}_${build} ${build}
      LIBRARIES ${ARG_LIBRARIES} DUAL_LIBRARIES ${ARG_DUAL_LIBRARIES})
  endforeach()
endfunction()

# Adds NAME_first and NAME_second; each writes the program NAME into its build's folder.
function(add_dual_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DUAL_LIBRARIES" ${ARGN})
  foreach(build ${TWO_BUILDS})
    add_executable(${name}_${build} ${ARG_SOURCES})
    set_target_properties(${name}_${build} PROPERTIES
      OUTPUT_NAME ${name}
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${build})
    _two_builds_configure(${name}_${build} ${build}
      LIBRARIES ${ARG_LIBRARIES} DUAL_LIBRARIES ${ARG_DUAL_LIBRARIES})
  endforeach()
endfunction()
