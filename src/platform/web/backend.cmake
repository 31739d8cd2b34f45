# The browser: the page's canvas, keys and touch, its audio worklet; the text from the glyph file. Its
# headless table (webHeadless) plays key scripts with the headless backend's parts and shows the frames
# on the canvas, where the browser tests read the captures (no PNG files in the page).
if(NOT EMSCRIPTEN)
  message(FATAL_ERROR "KIRAKE_BACKENDS: the backend web builds only with emscripten (configure web/ with emcmake: ./setup web)")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../headless/parts.cmake)
kirake_platform_service(glyphfile)
kirake_platform_library(kirake_backend_web web)
target_link_libraries(kirake_backend_web PUBLIC kirake_service_glyphfile kirake_headless_parts)
set(KIRAKE_BACKEND_TABLES web webHeadless)
