# add_version_resource(TARGET STRING_TABLES 040904e4 ... VALUES ProductVersion=1.48 ...): the
# program's version resource, a section of its file that GetFileVersionInfo reads (see
# platform/base/VersionInfo.h). Each value stands in each string table given.
function(add_version_resource target)
  cmake_parse_arguments(ARG "" "" "STRING_TABLES;VALUES" ${ARGN})
  set(lines "")
  foreach(table ${ARG_STRING_TABLES})
    foreach(value ${ARG_VALUES})
      string(APPEND lines "\\\\StringFileInfo\\\\${table}\\\\${value}\\n")
    endforeach()
  endforeach()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp)
  file(GENERATE OUTPUT ${source} CONTENT
"// Written by add_version_resource: the version resource of ${target}.
[[gnu::section(\".calvora_version\"), gnu::used]] extern const char kVersionResource[] =
    \"${lines}\";
")
  target_sources(${target} PRIVATE ${source})
endfunction()
