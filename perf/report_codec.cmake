add_executable(perf_report_codec ${CMAKE_CURRENT_LIST_DIR}/report_codec.cpp)
target_link_libraries(perf_report_codec PRIVATE nvx_core)
target_include_directories(perf_report_codec PRIVATE ${CMAKE_SOURCE_DIR}/tests)
