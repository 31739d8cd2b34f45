# kirake_upstream_version(OUT VERSION): the upstream part of a Debian package version, the one the
# project's own version must equal: without the epoch ("1:"), the Debian revision (from the last "-"),
# and what Debian adds to an upstream version (a binNMU's "+b1", an NMU's "+nmu1", a repack's "+ds",
# a backport's or pre-release's "~..."): 1:0.1.0-2+b1, 0.1.0-1.1, 0.1.0+b2 and 0.1.0~rc1 are all 0.1.0.
function(kirake_upstream_version out version)
  string(REGEX REPLACE "^[0-9]+:" "" version "${version}")
  string(REGEX REPLACE "-[^-]*$" "" version "${version}")
  string(REGEX REPLACE "[~+].*$" "" version "${version}")
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

# cmake -P upstream-version.cmake: the cases above, checked.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(case "0.1.0=0.1.0" "0.1.0-1=0.1.0" "1:0.1.0-2+b1=0.1.0" "0.1.0-1.1=0.1.0" "0.1.0+b2=0.1.0"
               "0.1.0+nmu1=0.1.0" "0.1.0-1~bpo12+1=0.1.0" "0.1.0~rc1-1=0.1.0" "0.1.0+ds-1=0.1.0"
               "2:1.2.3-4-5=1.2.3-4" "0.2.0-1=0.2.0")
    string(REPLACE "=" ";" case "${case}")
    list(GET case 0 given)
    list(GET case 1 want)
    kirake_upstream_version(got "${given}")
    if(NOT got STREQUAL want)
      message(FATAL_ERROR "the upstream part of ${given} came out as ${got}, not ${want}")
    endif()
  endforeach()
  message(STATUS "upstream versions: all cases right")
endif()
