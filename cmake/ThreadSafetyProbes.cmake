# The proof that clang's thread-safety analysis is on (KVP_THREAD_SAFETY)
# and reads the player's annotations: tests/thread_safety/lock_probe.cpp
# compiled three ways against the player's private headers.
#   kvp_lock_probe                 the lock order kept: built with everything,
#                                  must compile
#   kvp_lock_probe_wrong_order     two player mutexes out of order
#   kvp_lock_probe_unguarded       a guarded field written without its lock
# The last two are built only on request (scripts/thread-safety.sh) and
# must fail with the analysis' warning.
function(kvp_add_lock_probe name)
    add_library(${name} OBJECT ${CMAKE_SOURCE_DIR}/tests/thread_safety/lock_probe.cpp)
    target_link_libraries(${name} PRIVATE kvp_player)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/player/src)
    target_compile_definitions(${name} PRIVATE ${ARGN})
endfunction()

kvp_add_lock_probe(kvp_lock_probe)
kvp_add_lock_probe(kvp_lock_probe_wrong_order KVP_PROBE_WRONG_ORDER)
kvp_add_lock_probe(kvp_lock_probe_unguarded KVP_PROBE_UNGUARDED)
set_target_properties(kvp_lock_probe_wrong_order kvp_lock_probe_unguarded
    PROPERTIES EXCLUDE_FROM_ALL ON)
