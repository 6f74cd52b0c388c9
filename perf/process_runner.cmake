# What one system tool call costs on top of the tool itself: quick tools must
# not pay a polling interval, and a stop must be noticed within one.
add_executable(perf_process_runner ${CMAKE_CURRENT_LIST_DIR}/process_runner.cpp)
target_link_libraries(perf_process_runner PRIVATE nvx_inventory)
