# The story text, copied as it stands.
add_custom_command(
  OUTPUT ${KIRAKE_DATA_DIR}/data.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/story/data.txt ${KIRAKE_DATA_DIR}/data.txt
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/story/data.txt
  COMMENT "Copying the story text")
list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_DATA_DIR}/data.txt)

# The story script the game plays the default story from.
add_custom_command(
  OUTPUT ${KIRAKE_DATA_DIR}/scenes.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/story/scenes.txt ${KIRAKE_DATA_DIR}/scenes.txt
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/story/scenes.txt
  COMMENT "Copying the story script")
list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_DATA_DIR}/scenes.txt)
