# Kills nvx-depot with SIGKILL many times while 8 clients submit, restarts it
# on the same database, and checks that every acknowledged record reads back.
add_executable(perf_depot_crash ${CMAKE_CURRENT_LIST_DIR}/depot_crash.cpp)
target_link_libraries(perf_depot_crash PRIVATE nvx_upload)
target_compile_definitions(perf_depot_crash PRIVATE NVX_DEPOT_BINARY="$<TARGET_FILE:nvx-depot>")
add_dependencies(perf_depot_crash nvx-depot)
