# Verified round trips of 8 clients against two nvx-depot processes on one
# private PostgreSQL server, side by side with one depot on SQLite.
add_executable(perf_depot_roundtrips ${CMAKE_CURRENT_LIST_DIR}/depot_roundtrips.cpp)
target_link_libraries(perf_depot_roundtrips PRIVATE nvx_upload nvx_depot_lib nvx_test_postgres)
target_compile_definitions(perf_depot_roundtrips PRIVATE NVX_DEPOT_BINARY="$<TARGET_FILE:nvx-depot>")
add_dependencies(perf_depot_roundtrips nvx-depot)
