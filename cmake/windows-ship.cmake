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

# What a player gets: the game, its data and glyphs, the tools, a README, the licences.
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

# The licences, with Windows line ends: the project's (LICENSE.txt, the code's; LICENSES\ the texts of the
# code's and the story's licences) and the notices of the runtime parts the static programs carry. The
# installer's licence page shows them all, one after the other.
function(kirake_write_if_changed path text)  # the text as it is (no @VAR@ replaced), the time kept if the same
  file(WRITE ${path}.new "${text}")
  configure_file(${path}.new ${path} COPYONLY)
  file(REMOVE ${path}.new)
endfunction()
set(licence_dir ${CMAKE_BINARY_DIR}/licences)
set(KIRAKE_LICENCE_PAGE ${licence_dir}/licence-page.txt)
set(licence_page "")
set(licence_files)
foreach(pair "LICENSE.txt=LICENSE" "LICENSES/MIT.txt=LICENSES/MIT.txt" "LICENSES/CC-BY-4.0.txt=LICENSES/CC-BY-4.0.txt"
             "LICENSES/windows-runtime-notices.txt=LICENSES/windows-runtime-notices.txt" "LICENSES/IPA-1.txt=LICENSES/IPA-1.txt")
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 shipped)
  list(GET pair 1 source)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
  file(READ ${PROJECT_SOURCE_DIR}/${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  kirake_write_if_changed(${licence_dir}/${shipped} "${text}")
  list(APPEND licence_files ${licence_dir}/${shipped})
  string(REPLACE "/" "\\" shown ${shipped})
  string(APPEND licence_page "==== ${shown} ====\r\n\r\n${text}\r\n")
endforeach()
kirake_write_if_changed(${KIRAKE_LICENCE_PAGE} "${licence_page}")

# The zip and the installer are the same bytes from every build of the same sources: the files in the
# order of their names, each with the time of the sources' last commit (SOURCE_DATE_EPOCH where it is
# set), in UTC.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE no_git)
  if(no_git OR NOT epoch)
    set(epoch 1767225600)  # 2026-01-01, for a tree without its history
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
string(TIMESTAMP KIRAKE_ZIP_TIME "%Y-%m-%d %H:%M:%S" UTC)
set(KIRAKE_UNINSTALL_LIST ${CMAKE_BINARY_DIR}/uninstall-files.nsh)
set(zip_list ${CMAKE_BINARY_DIR}/zip-files.txt)

add_custom_target(kirake_windows_stage ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KIRAKE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KIRAKE_STAGE}/tools ${KIRAKE_STAGE}/LICENSES
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kirake> ${KIRAKE_STAGE}/
  ${copy_tools}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${KIRAKE_NATIVE_BUILD}/gamedata ${KIRAKE_STAGE}/data
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/README.txt ${licence_dir}/LICENSE.txt ${KIRAKE_STAGE}/
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${licence_dir}/LICENSES ${KIRAKE_STAGE}/LICENSES
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${KIRAKE_STAGE} -DLIST=${zip_list} -DUNINSTALL=${KIRAKE_UNINSTALL_LIST}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-pack.cmake
  DEPENDS kirake ${tools} ${licence_files} ${PROJECT_SOURCE_DIR}/cmake/windows-pack.cmake
  COMMENT "Putting the game, its data, the tools and the licences together in ${KIRAKE_PACKAGE_NAME}/")

# Info-ZIP's zip with -X stores no file attributes beyond the time (libarchive's zip, cmake -E tar's, adds
# the build's access and change times).
find_program(KIRAKE_ZIP_PROGRAM zip)
if(KIRAKE_ZIP_PROGRAM)
  set(write_zip
    COMMAND find ${KIRAKE_PACKAGE_NAME} -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC sh -c "${KIRAKE_ZIP_PROGRAM} -X -D -q ${KIRAKE_ZIP} -@ < ${zip_list}")
else()
  message(WARNING "zip not found (Debian's zip): the Windows zip is written by cmake and differs from build to build")
  set(write_zip COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${CMAKE_COMMAND} -E tar cf ${KIRAKE_ZIP} --format=zip
                        "--mtime=${KIRAKE_ZIP_TIME} UTC" --files-from=${zip_list})
endif()
add_custom_target(kirake_windows_zip ALL
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KIRAKE_ZIP}
  ${write_zip}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS kirake_windows_stage
  COMMENT "Writing ${KIRAKE_PACKAGE_NAME}.zip"
  VERBATIM)
add_dependencies(kirake_windows_zip kirake_windows_stage)

find_program(KIRAKE_MAKENSIS makensis)
if(KIRAKE_MAKENSIS)
  set(nsi ${CMAKE_BINARY_DIR}/kirake.nsi)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kirake.nsi.in ${nsi} @ONLY)
  add_custom_target(kirake_windows_installer ALL
    COMMAND ${KIRAKE_MAKENSIS} -V2 -INPUTCHARSET UTF8 ${nsi}
    DEPENDS kirake_windows_stage ${nsi} ${KIRAKE_LICENCE_PAGE}
    COMMENT "Writing kirake-${PROJECT_VERSION}-setup.exe")
  add_dependencies(kirake_windows_installer kirake_windows_stage)
else()
  message(WARNING "makensis not found (Debian's nsis): no installer is written")
endif()

if(KIRAKE_WINDOWS_TESTS)
  include(${PROJECT_SOURCE_DIR}/cmake/windows-tests.cmake OPTIONAL)
endif()
