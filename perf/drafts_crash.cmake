# Kills a program that keeps rewriting drafts, many times, and checks what
# is left on disk. Needs the Qt model, so only in builds with the window.
if(TARGET nvx_app_model)
  add_executable(perf_drafts_crash ${CMAKE_CURRENT_LIST_DIR}/drafts_crash.cpp)
  target_link_libraries(perf_drafts_crash PRIVATE nvx_app_model)
endif()
