# Windows: GDI, WASAPI (or waveOut), directory change notifications; the text from the glyph file
# embedded in the executable; PNG captures with zlib (linked in statically).
find_package(ZLIB REQUIRED)
kirake_platform_service(glyphfile)
kirake_platform_service(zlib ZLIB::ZLIB)
kirake_platform_library(kirake_backend_win32 win32 ole32 winmm shell32 uuid)
target_link_libraries(kirake_backend_win32 PUBLIC kirake_service_glyphfile kirake_service_zlib)
