# The test story in UTF-8: the default data with the text of message 4 (the first of a route) replaced
# by MESSAGE (Japanese, accented, Greek and Cyrillic text, and a character the Gothic face lacks), data.txt
# marked with the byte order mark, and the story's glyphs baked by GLYPHS (kirake-glyphs) when given.
#   cmake -DDATA=gamedata -DMESSAGE=utf8-story.txt -DOUT=folder [-DGLYPHS=kirake-glyphs] -P utf8-story.cmake
file(REMOVE_RECURSE ${OUT})
file(COPY ${DATA}/ DESTINATION ${OUT})
file(READ ${DATA}/data.txt text)
file(READ ${MESSAGE} message)
string(FIND "${text}" "tx4" start)
math(EXPR start "${start} + 3")
string(SUBSTRING "${text}" ${start} -1 rest)
string(FIND "${rest}" "<!" end)
string(SUBSTRING "${text}" 0 ${start} head)
string(SUBSTRING "${rest}" ${end} -1 tail)
string(ASCII 239 187 191 mark)
file(WRITE ${OUT}/data.txt "${mark}${head}${message}${tail}")
if(GLYPHS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${GLYPHS} --story ${OUT} ${OUT}/glyphs.kfnt
                  RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kirake-glyphs could not bake the test story's glyphs")
  endif()
endif()
