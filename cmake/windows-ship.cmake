# The Windows build's programs and what ships them (included by the top CMakeLists.txt after src/):
# the executables' resources (icon, version information, manifest), the folder a player gets
# (build-windows/kirake-VERSION-windows-x64/), its zip and the installer.
string(REPLACE "." "," KIRAKE_VERSION_COMMAS "${PROJECT_VERSION}.0")
set(KIRAKE_VERSION_QUAD "${PROJECT_VERSION}.0")
set(KIRAKE_MANIFEST_FILE ${CMAKE_BINARY_DIR}/kirake.manifest)
configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/kirake.manifest ${KIRAKE_MANIFEST_FILE} @ONLY)

# The icon, the version information and the manifest of one program.
function(kirake_windows_resources target description type)
  set(KIRAKE_NAME ${target})
  set(KIRAKE_DESCRIPTION ${description})
  set(KIRAKE_FILE_TYPE ${type})
  set(rc ${CMAKE_BINARY_DIR}/resources/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/kirake.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${KIRAKE_ICON_FILE};${KIRAKE_MANIFEST_FILE}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} kirake_windows_icon)
endfunction()

kirake_windows_resources(kirake "kirake, a story game" VFT_APP)
# The game is a window program (no console of its own; from a console, --help and the messages still
# reach it).
target_link_options(kirake PRIVATE -mwindows)
kirake_windows_resources(kirake-check "kirake-check, the data checker" VFT_APP)
kirake_windows_resources(kirake-song "kirake-song, the song compiler and player" VFT_APP)
kirake_windows_resources(kirake-sfx "kirake-sfx, the sound effect maker" VFT_APP)

# What a player gets: the game, its data and glyphs, the tools, a README.
set(KIRAKE_PACKAGE_NAME kirake-${PROJECT_VERSION}-windows-x64)
set(KIRAKE_STAGE ${CMAKE_BINARY_DIR}/${KIRAKE_PACKAGE_NAME})
set(KIRAKE_ZIP ${CMAKE_BINARY_DIR}/${KIRAKE_PACKAGE_NAME}.zip)
set(KIRAKE_INSTALLER ${CMAKE_BINARY_DIR}/kirake-${PROJECT_VERSION}-setup.exe)
set(tools kirake-check kirake-song kirake-sfx)
set(copy_tools)
foreach(tool ${tools})
  list(APPEND copy_tools COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${tool}> ${KIRAKE_STAGE}/tools/)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
add_custom_target(kirake_windows_stage ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KIRAKE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KIRAKE_STAGE}/tools
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kirake> ${KIRAKE_STAGE}/
  ${copy_tools}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${KIRAKE_NATIVE_BUILD}/gamedata ${KIRAKE_STAGE}/data
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/README.txt ${KIRAKE_STAGE}/
  DEPENDS kirake ${tools}
  COMMENT "Putting the game, its data and the tools together in ${KIRAKE_PACKAGE_NAME}/")

add_custom_target(kirake_windows_zip ALL
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KIRAKE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${KIRAKE_ZIP} --format=zip ${KIRAKE_PACKAGE_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS kirake_windows_stage
  COMMENT "Writing ${KIRAKE_PACKAGE_NAME}.zip")
add_dependencies(kirake_windows_zip kirake_windows_stage)

find_program(KIRAKE_MAKENSIS makensis)
if(KIRAKE_MAKENSIS)
  set(nsi ${CMAKE_BINARY_DIR}/kirake.nsi)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kirake.nsi.in ${nsi} @ONLY)
  add_custom_target(kirake_windows_installer ALL
    COMMAND ${KIRAKE_MAKENSIS} -V2 -INPUTCHARSET UTF8 ${nsi}
    DEPENDS kirake_windows_stage ${nsi}
    COMMENT "Writing kirake-${PROJECT_VERSION}-setup.exe")
  add_dependencies(kirake_windows_installer kirake_windows_stage)
else()
  message(WARNING "makensis not found (Debian's nsis): no installer is written")
endif()

if(KIRAKE_WINDOWS_TESTS)
  include(${PROJECT_SOURCE_DIR}/cmake/windows-tests.cmake OPTIONAL)
endif()
