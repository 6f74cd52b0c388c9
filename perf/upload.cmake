# Verified round trips (encode, POST, GET, decode, compare) against real
# nvx-depot children on free loopback ports, over HTTP and HTTPS: latency of
# a self-test-sized report and of a 1 MB inventory, the cost of TLS, and
# throughput of 8 concurrent clients with a check that every acknowledged
# record is stored.
add_executable(perf_upload ${CMAKE_CURRENT_LIST_DIR}/upload.cpp)
target_link_libraries(perf_upload PRIVATE nvx_upload nvx_depot_lib nvx_test_certificates)
target_compile_definitions(perf_upload PRIVATE NVX_DEPOT_BINARY="$<TARGET_FILE:nvx-depot>")
add_dependencies(perf_upload nvx-depot)
