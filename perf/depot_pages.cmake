# Fleet pages at fleet scale: 100,000 reports of 2,000 computers in SQLite,
# the pages' response times and a streamed CSV export of every device.
add_executable(perf_depot_pages ${CMAKE_CURRENT_LIST_DIR}/depot_pages.cpp)
target_link_libraries(perf_depot_pages PRIVATE nvx_depot_lib)
