# Headless runs: the virtual clock, key scripts, captures (PNG with zlib), faults; the sound rendered by
# the frame clock and recorded.
find_package(ZLIB REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/parts.cmake)
kirake_platform_service(zlib ZLIB::ZLIB)
add_library(kirake_backend_headless STATIC ${CMAKE_CURRENT_LIST_DIR}/table.cpp ${CMAKE_CURRENT_LIST_DIR}/frame_clock.cpp)
target_link_libraries(kirake_backend_headless PUBLIC kirake_platform kirake_headless_parts kirake_service_zlib)
