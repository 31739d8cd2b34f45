# The desktop: SDL2 for the window, input and the audio device; FreeType and fontconfig for the text;
# inotify for file watching; PNG captures with zlib; kept files in the XDG folders; speech-dispatcher.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(SPEECHD REQUIRED IMPORTED_TARGET speech-dispatcher)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
kirake_platform_service(freetype PkgConfig::FREETYPE PkgConfig::FONTCONFIG)
kirake_platform_service(linux)
kirake_platform_service(zlib ZLIB::ZLIB)
kirake_platform_service(posix)
kirake_platform_service(speechd PkgConfig::SPEECHD Threads::Threads)
kirake_platform_library(kirake_backend_sdl sdl PkgConfig::SDL2)
target_link_libraries(kirake_backend_sdl PUBLIC kirake_service_freetype kirake_service_linux kirake_service_zlib
                      kirake_service_posix kirake_service_speechd)
