# Whether the benchmarks measure the machine and not themselves: each one
# beside a plain loop doing the same work, printed as ratios.
add_executable(perf_bench_fidelity ${CMAKE_CURRENT_LIST_DIR}/bench_fidelity.cpp)
target_link_libraries(perf_bench_fidelity PRIVATE nvx_bench)
