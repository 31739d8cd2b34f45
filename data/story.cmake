# The story text and its translations (data.LANG.txt), copied as they stand.
file(GLOB KIRAKE_STORY_TEXTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/story/data.txt
     ${CMAKE_CURRENT_SOURCE_DIR}/story/data.*.txt)
set(KIRAKE_STORY_TEXT_OUTPUTS)
foreach(text ${KIRAKE_STORY_TEXTS})
  get_filename_component(name ${text} NAME)
  add_custom_command(
    OUTPUT ${KIRAKE_DATA_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${text} ${KIRAKE_DATA_DIR}/${name}
    DEPENDS ${text}
    COMMENT "Copying the story text ${name}")
  list(APPEND KIRAKE_STORY_TEXT_OUTPUTS ${KIRAKE_DATA_DIR}/${name})
endforeach()
list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_STORY_TEXT_OUTPUTS})

# The story script the game plays the default story from.
add_custom_command(
  OUTPUT ${KIRAKE_DATA_DIR}/scenes.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/story/scenes.txt ${KIRAKE_DATA_DIR}/scenes.txt
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/story/scenes.txt
  COMMENT "Copying the story script")
list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_DATA_DIR}/scenes.txt)

# The glyphs of the translations' characters beyond ASCII, for the Windows build, which takes this
# folder as it is (the browser build's packer bakes its own): drawn with this machine's fonts, as the
# built-in glyph file is. A build without that file (KIRAKE_WEB_GLYPHS off) ships none: the desktop
# needs none.
list(LENGTH KIRAKE_STORY_TEXTS KIRAKE_STORY_TEXT_COUNT)
if(KIRAKE_WEB_GLYPHS AND KIRAKE_STORY_TEXT_COUNT GREATER 1)
  add_custom_command(
    OUTPUT ${KIRAKE_DATA_DIR}/glyphs.kfnt
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:kirake-glyphs> --story
            ${KIRAKE_DATA_DIR} ${KIRAKE_DATA_DIR}/glyphs.kfnt
    DEPENDS kirake-glyphs ${KIRAKE_STORY_TEXT_OUTPUTS}
    COMMENT "Baking the story's glyphs")
  list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_DATA_DIR}/glyphs.kfnt)
endif()
