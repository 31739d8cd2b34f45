# The unit tests built for Windows, run under Wine by tests/windows/wine-test.sh: GoogleTest cross-built
# from Debian's sources (googletest), the test files that run on Windows, paths as Wine's drive Z: shows
# the build machine's files. They start programs through the portable process runner
# (tests/run_program.h); without it they cannot build for Windows and are left out.
if(NOT EXISTS ${PROJECT_SOURCE_DIR}/tests/run_program.h)
  message(STATUS "the tests have no portable process runner yet: no unit tests for Windows")
  return()
endif()
set(KIRAKE_TEST_DRIVE "Z:" CACHE STRING "The drive under which the Windows tests see this machine's files")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB KIRAKE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*.cpp)
# Not on Windows: the Linux window (SDL, X11), the tools that draw with cairo, and the files that still
# use the GNU C library or POSIX (mallinfo2, setenv, mkdtemp).
# The guide's commands are sh scripts; the story project and UTF-8 tests build with the picture compiler
# (cairo) and FreeType's rendering; the bounded-input tests make FIFOs and sparse files; the user-dirs
# reader is the Linux desktop's; the comforts' and the kept games' tests give each run its kept files
# through the XDG folders (tests/windows/wine-comforts.sh checks Windows' own places).
foreach(linux_only desktop_test.cpp art_tool_test.cpp art_palette_test.cpp authoring_storyboard_test.cpp
                   hardening_test.cpp sound_mixer_test.cpp text_message_test.cpp authoring_guide_test.cpp
                   authoring_project_test.cpp text_utf8_test.cpp text_freetype_ink_test.cpp bounded_inputs_test.cpp
                   user_dirs_test.cpp art_import_test.cpp platform_comforts_test.cpp
                   comforts_test.cpp session_test.cpp rebuild_bounds_test.cpp)
  list(REMOVE_ITEM KIRAKE_TEST_SOURCES ${PROJECT_SOURCE_DIR}/tests/${linux_only})
endforeach()
add_executable(kirake_tests EXCLUDE_FROM_ALL ${KIRAKE_TEST_SOURCES})
target_include_directories(kirake_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tools/common)
target_link_libraries(kirake_tests PRIVATE kirake_system gtest gtest_main)
set(drive ${KIRAKE_TEST_DRIVE})
target_compile_definitions(kirake_tests PRIVATE
  KIRAKE_BINARY="${drive}$<TARGET_FILE:kirake>"
  KIRAKE_SOURCE_DIR="${drive}${PROJECT_SOURCE_DIR}"
  KIRAKE_DATA_DIR="${drive}${KIRAKE_NATIVE_BUILD}/gamedata"
  KIRAKE_UTF8_STORY_DIR="${drive}${KIRAKE_NATIVE_BUILD}/tests/utf8-story"
  KIRAKE_TOOLS_DIR="${drive}${CMAKE_BINARY_DIR}/tools"
  _USE_MATH_DEFINES)
add_dependencies(kirake_tests kirake)
