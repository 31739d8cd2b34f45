# cmake -DHELP2MAN=... -DPROGRAM=path -DNAME=name -DSECTION=1|6 -DINCLUDE=file.h2m -DOUTPUT=page.gz -P manpage.cmake
# The manual page of PROGRAM made by help2man from its --help and --version. The NAME line is the first
# line of the help after the usage, up to its first ",", ":", ";" or ".", its first letter made small.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} --help failed (${status})")
endif()
string(REPLACE "\n" ";" lines "${help}")
set(summary "")
foreach(line ${lines})
  if(NOT line MATCHES "^(Usage:|  or:)" AND NOT line STREQUAL "")
    set(summary "${line}")
    break()
  endif()
endforeach()
string(REGEX REPLACE "[,:;.].*" "" summary "${summary}")
string(SUBSTRING "${summary}" 0 1 first)
string(SUBSTRING "${summary}" 1 -1 rest)
string(TOLOWER "${first}" first)
if(NOT summary)
  message(FATAL_ERROR "${NAME} --help has no line saying what it does")
endif()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
          ${HELP2MAN} --no-info --no-discard-stderr --section=${SECTION} "--name=${first}${rest}"
          --include=${INCLUDE} --output=${page} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${NAME} (${status})")
endif()
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot compress ${page}")
endif()
