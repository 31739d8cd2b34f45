# The Windows build's settings (included by the top CMakeLists.txt when cross-building for Windows).
# The programs that make the default data, the resources and the glyph file need cairo, FreeType or
# fontconfig: they run in the native build, whose folder is given here.
set(KIRAKE_NATIVE_BUILD "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "The native build folder (its tools made the resources, the glyph file, the icons and the data)")
foreach(made tools/kirake-embed res/icon.bmp web/glyphs.kfnt gamedata/data.txt packaging/icons/icon-16.bmp
             packaging/icons/icon-32.bmp packaging/icons/icon-48.bmp)
  if(NOT EXISTS ${KIRAKE_NATIVE_BUILD}/${made})
    message(FATAL_ERROR "${KIRAKE_NATIVE_BUILD}/${made} is missing: build the native build first (./setup build)")
  endif()
endforeach()

# Unit tests are cross-built with GoogleTest from its sources (cmake/windows-ship.cmake); benchmarks
# and fuzzers are not built for Windows.
set(KIRAKE_WINDOWS_TESTS ${KIRAKE_TESTS})
set(KIRAKE_TESTS OFF)
set(KIRAKE_BENCH OFF)
set(KIRAKE_FUZZ OFF)
# zlib linked in (Debian's libz-mingw-w64-dev has both); programs stripped (the zip stays small).
set(ZLIB_USE_STATIC_LIBS ON)
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-s -Wl,--gc-sections)
# The same bytes from every build of the same sources: no link time in the PE header, no build folder in
# the programs (assertion and file names). (Control Flow Guard is not offered: GCC 12 has no -mguard=cf
# and binutils 2.40's ld cannot write its tables. ASLR, high-entropy ASLR and DEP are ld's defaults.)
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/
                    -ffile-prefix-map=${KIRAKE_NATIVE_BUILD}/=native/)
# Windows 7 and later; the names of the Unicode functions.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# The executable's embedded data, as the native build made it: the drum samples, the window icon, and
# the glyphs the text is drawn with (there is no FreeType here), in a table by the native kirake-embed.
file(GLOB drums ${KIRAKE_NATIVE_BUILD}/res/drums/*.wav)
set(embedded)
foreach(drum ${drums})
  get_filename_component(name ${drum} NAME_WE)
  list(APPEND embedded ${name} WAVE ${drum})
endforeach()
list(APPEND embedded icon ICON ${KIRAKE_NATIVE_BUILD}/res/icon.bmp glyphs KFNT ${KIRAKE_NATIVE_BUILD}/web/glyphs.kfnt)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/res/resources.cpp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/res
  COMMAND ${KIRAKE_NATIVE_BUILD}/tools/kirake-embed ${CMAKE_BINARY_DIR}/res/resources.cpp ${embedded}
  DEPENDS ${drums} ${KIRAKE_NATIVE_BUILD}/res/icon.bmp ${KIRAKE_NATIVE_BUILD}/web/glyphs.kfnt
  COMMENT "Embedding the resources"
  VERBATIM)
add_library(kirake_resources STATIC ${CMAKE_BINARY_DIR}/res/resources.cpp)
target_include_directories(kirake_resources PUBLIC ${PROJECT_SOURCE_DIR}/src)

# The icon file of the executable and the installer, made from the icon pictures by a small program
# built for this machine.
set(KIRAKE_MAKE_ICON ${CMAKE_BINARY_DIR}/host/kirake-make-icon)
set(make_icon_source ${PROJECT_SOURCE_DIR}/src/platform/win32/tools/make_icon.cpp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${make_icon_source})
if(NOT EXISTS ${KIRAKE_MAKE_ICON} OR ${make_icon_source} IS_NEWER_THAN ${KIRAKE_MAKE_ICON})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host)
  execute_process(COMMAND c++ -std=c++17 -O2 -o ${KIRAKE_MAKE_ICON} ${make_icon_source}
                  RESULT_VARIABLE built)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "cannot build ${KIRAKE_MAKE_ICON} with the native compiler (c++)")
  endif()
endif()
set(KIRAKE_ICON_FILE ${CMAKE_BINARY_DIR}/kirake.ico)
set(icons ${KIRAKE_NATIVE_BUILD}/packaging/icons)
add_custom_command(
  OUTPUT ${KIRAKE_ICON_FILE}
  COMMAND ${KIRAKE_MAKE_ICON} ${KIRAKE_ICON_FILE} ${icons}/icon-16.bmp ${icons}/icon-32.bmp
          ${icons}/icon-48.bmp ${icons}/icon-32.bmp:2 ${icons}/icon-32.bmp:8
  DEPENDS ${KIRAKE_MAKE_ICON} ${icons}/icon-16.bmp ${icons}/icon-32.bmp ${icons}/icon-48.bmp
  COMMENT "Writing the Windows icon"
  VERBATIM)
add_custom_target(kirake_windows_icon DEPENDS ${KIRAKE_ICON_FILE})
# The data is the native build's (copied into the folder a player gets, cmake/windows-ship.cmake), and
# beside src/ as in the native build, where kirake.exe run from the build folder finds it without --data.
add_custom_target(kirake_gamedata
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/gamedata
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${KIRAKE_NATIVE_BUILD}/gamedata ${CMAKE_BINARY_DIR}/gamedata
  COMMENT "Copying the native build's data beside the game"
  VERBATIM)
set(KIRAKE_DATA_DIR ${KIRAKE_NATIVE_BUILD}/gamedata)
