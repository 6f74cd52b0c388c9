# The window's own costs: time to the first frame, processor use while the
# pet animates, and the pet's timer while benchmarks measure. Needs the
# window's QML module, so only in builds with it.
if(TARGET nvx_ui)
  add_executable(perf_window ${CMAKE_CURRENT_LIST_DIR}/window.cpp ${CMAKE_SOURCE_DIR}/tests/app/unwired_model.cpp)
  target_include_directories(perf_window PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(perf_window PRIVATE nvx_ui nvx_uiplugin Qt6::Quick Qt6::QuickControls2 Qt6::Test)
endif()
