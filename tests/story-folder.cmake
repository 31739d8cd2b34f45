# A test story folder: the story's own data.txt and scenes.txt, its pictures drawn by ART (kirake-art)
# from its sources pictures/*.pic (which may include the default data's palettes and shared parts, from
# INCLUDE), and the effects, the songs and the pictures named in PICTURES (separated by commas) copied
# from the built default data DATA.
#   cmake -DSTORY=stories/NAME -DDATA=gamedata -DPICTURES=System,game_w2 -DART=kirake-art
#         -DINCLUDE=data/pictures -DOUT=folder -P story-folder.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/bmp)
file(GLOB sounds ${DATA}/*.wav ${DATA}/*.pmd)
file(COPY ${sounds} DESTINATION ${OUT})
string(REPLACE "," ";" pictures "${PICTURES}")
foreach(name ${pictures})
  file(COPY ${DATA}/bmp/${name}.BMP DESTINATION ${OUT}/bmp)
endforeach()
file(GLOB sources ${STORY}/pictures/*.pic)
foreach(source ${sources})
  get_filename_component(name ${source} NAME_WE)
  execute_process(COMMAND ${ART} -I ${INCLUDE} ${source} ${OUT}/bmp/${name}.BMP
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kirake-art could not draw ${source}: ${errors}")
  endif()
endforeach()
# The text last: the tests wait for data.txt.
file(COPY ${STORY}/scenes.txt ${STORY}/data.txt DESTINATION ${OUT})
