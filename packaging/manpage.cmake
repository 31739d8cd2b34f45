# cmake -DHELP2MAN=... -DPROGRAM=path -DNAME=name -DSECTION=1|6 -DINCLUDE=file.h2m -DOUTPUT=page.gz
#       "-DSEE_ALSO=name.section;..." -P manpage.cmake
# The manual page of PROGRAM made by help2man from its --help and --version. The NAME line is the first
# line of the help after the usage without what it says in parentheses, up to its first ",", ":", ";" or
# ".", its first letter made small. The line @SEE_ALSO@ of the include file becomes the list of the other
# installed programs' pages.
# A program that does not answer --help yet gets a page saying so, and a warning; the tests fail on it,
# the build does not.
cmake_minimum_required(VERSION 3.20)  # the script's own policies: "@SEE_ALSO@" is no variable
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
function(write_stub_page why)
  message(WARNING "${NAME}: ${why}: every installed program answers --help and --version "
                  "(tools/common/tool_help.h)")
  string(TOUPPER ${NAME} upper)
  file(WRITE ${page} ".TH ${upper} ${SECTION}\n.SH NAME\n${NAME} \\- a kirake program\n.SH DESCRIPTION\n"
                     "This page is made from the program's --help, which it does not answer yet.\n")
  execute_process(COMMAND gzip -9nf ${page})
endfunction()
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status ERROR_QUIET TIMEOUT 20)
if(NOT status EQUAL 0 OR NOT help MATCHES "^Usage: ")
  write_stub_page("--help does not print a usage")
  return()
endif()
string(REPLACE "\n" ";" lines "${help}")
set(summary "")
foreach(line ${lines})
  if(NOT line MATCHES "^(Usage:|  or:)" AND NOT line STREQUAL "")
    set(summary "${line}")
    break()
  endif()
endforeach()
# An aside in parentheses is left out, also one that goes on past the line.
string(REGEX REPLACE " *\\([^)]*(\\)|$)" "" summary "${summary}")
string(REGEX REPLACE "[,:;.].*" "" summary "${summary}")
string(STRIP "${summary}" summary)
string(SUBSTRING "${summary}" 0 1 first)
string(SUBSTRING "${summary}" 1 -1 rest)
string(TOLOWER "${first}" first)
if(NOT summary)
  write_stub_page("--help has no line saying what the program does")
  return()
endif()
set(see_also "")
foreach(other ${SEE_ALSO})
  string(REGEX MATCH "^(.+)\\.([0-9])$" matched "${other}")
  if(matched AND NOT CMAKE_MATCH_1 STREQUAL NAME)
    string(APPEND see_also ".BR ${CMAKE_MATCH_1} (${CMAKE_MATCH_2}),\n")
  endif()
endforeach()
string(REGEX REPLACE ",\n$" "\n" see_also "${see_also}")
file(READ ${INCLUDE} include)
string(REPLACE "@SEE_ALSO@\n" "${see_also}" include "${include}")
file(WRITE ${page}.h2m "${include}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
          ${HELP2MAN} --no-info --no-discard-stderr --section=${SECTION} "--name=${first}${rest}"
          --include=${page}.h2m --output=${page} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${NAME} (${status})")
endif()
file(REMOVE ${page}.h2m)
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot compress ${page}")
endif()
