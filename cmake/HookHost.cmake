# A program that brings in the hook library (the player it hooks, the server that loads it) lends
# the library the layer and the support library: it exports its symbols and holds the whole of
# the libraries that the hook library calls, so that one copy of the layer's windows, queues and
# objects serves the program and the library alike.
set(HOOK_HOST_LIBRARIES common platform_base platform_kernel platform_ipc platform_user
    platform_sessions)

function(link_hook_host target)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  target_link_libraries(${target} PRIVATE ${HOOK_HOST_LIBRARIES})
  set(archives)
  foreach(library ${HOOK_HOST_LIBRARIES})
    list(APPEND archives "$<TARGET_FILE:${library}>")
  endforeach()
  list(JOIN archives "," archive_list)
  target_link_options(${target} PRIVATE "LINKER:--whole-archive,${archive_list},--no-whole-archive")
endfunction()
