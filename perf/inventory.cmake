# The Linux inventory's speed and memory against common inventory tools, and a
# printer of this machine's real report.
add_executable(perf_inventory ${CMAKE_CURRENT_LIST_DIR}/inventory.cpp)
target_link_libraries(perf_inventory PRIVATE nvx_inventory)
add_executable(print_inventory ${CMAKE_CURRENT_LIST_DIR}/print_inventory.cpp)
target_link_libraries(print_inventory PRIVATE nvx_inventory)
