# The Linux inventory's speed and memory against common inventory tools, in the
# process and as whole processes, and a printer of this machine's real report
# (which perf_inventory also times as a whole process).
add_executable(perf_inventory ${CMAKE_CURRENT_LIST_DIR}/inventory.cpp)
target_link_libraries(perf_inventory PRIVATE nvx_inventory)
add_executable(print_inventory ${CMAKE_CURRENT_LIST_DIR}/print_inventory.cpp)
target_link_libraries(print_inventory PRIVATE nvx_inventory)
add_dependencies(perf_inventory print_inventory)
