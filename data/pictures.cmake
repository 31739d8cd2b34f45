# The 22 picture files (23 names: "System" and "system" are one file), drawn by kirake-art from the
# sources in pictures/ into ${KIRAKE_DATA_DIR}/bmp.
set(KIRAKE_PICTURE_NAMES
  game_w game_w2 System system2 heren heren2 Heren3 hiyori hiyori2 hiyorin fuuya fuuya1 fuuya2
  sensei stage1 stage2 stage3 black ochi happy ijyou sakura)
set(KIRAKE_PICTURE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/pictures)
# Every picture depends on all shared sources (includes and palettes): they are few and small.
file(GLOB KIRAKE_PICTURE_SHARED CONFIGURE_DEPENDS ${KIRAKE_PICTURE_DIR}/*.inc ${KIRAKE_PICTURE_DIR}/*.pal)
file(MAKE_DIRECTORY ${KIRAKE_DATA_DIR}/bmp)
foreach(name ${KIRAKE_PICTURE_NAMES})
  set(out ${KIRAKE_DATA_DIR}/bmp/${name}.BMP)
  add_custom_command(
    OUTPUT ${out}
    COMMAND kirake-art ${KIRAKE_PICTURE_DIR}/${name}.pic ${out}
    DEPENDS kirake-art ${KIRAKE_PICTURE_DIR}/${name}.pic ${KIRAKE_PICTURE_SHARED}
    COMMENT "Drawing ${name}.BMP"
    VERBATIM)
  list(APPEND KIRAKE_GAMEDATA_OUTPUTS ${out})
endforeach()
