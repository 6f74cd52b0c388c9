# A thousand runs of the process runner under every fault a tool can cause;
# prints what leaked (descriptors, processes, folders) and wrong outcomes.
add_executable(perf_runner_faults ${CMAKE_CURRENT_LIST_DIR}/runner_faults.cpp)
target_link_libraries(perf_runner_faults PRIVATE nvx_inventory Threads::Threads)
