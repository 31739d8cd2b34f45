# The headless backend's parts other builds reuse for a headless table of their own (the browser's): the
# virtual clock, key scripts, the trace's hooks, captures through WritePng, faults.
if(NOT TARGET kirake_headless_parts)
  add_library(kirake_headless_parts STATIC ${CMAKE_CURRENT_LIST_DIR}/headless.cpp)
  target_link_libraries(kirake_headless_parts PUBLIC kirake_platform)
endif()
