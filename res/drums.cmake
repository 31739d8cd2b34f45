# The six drum samples, synthesised at build time by kirake-drums (tools/drums).
set(KIRAKE_DRUM_DIR ${CMAKE_CURRENT_BINARY_DIR}/drums)
set(KIRAKE_DRUM_NAMES BASS1 BASS2 SNARE1 HAT1 HAT2 SYMBAL1)
set(KIRAKE_DRUM_FILES)
foreach(name ${KIRAKE_DRUM_NAMES})
  list(APPEND KIRAKE_DRUM_FILES ${KIRAKE_DRUM_DIR}/${name}.wav)
  list(APPEND KIRAKE_RESOURCES ${name} WAVE ${KIRAKE_DRUM_DIR}/${name}.wav)
endforeach()
add_custom_command(
  OUTPUT ${KIRAKE_DRUM_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KIRAKE_DRUM_DIR}
  COMMAND kirake-drums ${KIRAKE_DRUM_DIR}
  DEPENDS kirake-drums
  COMMENT "Synthesising the drum samples")
list(APPEND KIRAKE_RESOURCE_DEPENDS ${KIRAKE_DRUM_FILES})
