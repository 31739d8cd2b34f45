# The eight sound effects (synthesised by kirake-sfx) and the three songs (compiled from data/songs).
set(KIRAKE_EFFECTS End.wav Crash.wav Houtyo.wav Han.wav mag.wav messg.wav hako3.wav punch3.wav)
set(KIRAKE_EFFECT_FILES)
foreach(effect ${KIRAKE_EFFECTS})
  list(APPEND KIRAKE_EFFECT_FILES ${KIRAKE_DATA_DIR}/${effect})
endforeach()
add_custom_command(
  OUTPUT ${KIRAKE_EFFECT_FILES}
  COMMAND kirake-sfx ${KIRAKE_DATA_DIR}
  DEPENDS kirake-sfx
  COMMENT "Synthesising sound effects")
list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_EFFECT_FILES})

# Each song: data/songs/NAME.song -> NAME.pmd
foreach(song kura3 koi end)
  add_custom_command(
    OUTPUT ${KIRAKE_DATA_DIR}/${song}.pmd
    COMMAND kirake-song compile ${CMAKE_CURRENT_SOURCE_DIR}/songs/${song}.song -o ${KIRAKE_DATA_DIR}/${song}.pmd
    DEPENDS kirake-song ${CMAKE_CURRENT_SOURCE_DIR}/songs/${song}.song
    COMMENT "Compiling song ${song}")
  list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${KIRAKE_DATA_DIR}/${song}.pmd)
endforeach()
