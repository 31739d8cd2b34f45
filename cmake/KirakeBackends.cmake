# kirake_backend_list(FILE NAME...): writes FILE, the source of the build's table of backends
# (buildBackends in src/platform/backend.h): the main backend first, then the others, each NAME standing
# for the table NAMEBackend. This is the one place a build chooses its backends.
function(kirake_backend_list file)
  set(declarations "")
  set(entries "")
  foreach(name ${ARGN})
    string(APPEND declarations "extern const Backend ${name}Backend;\n")
    string(APPEND entries "&${name}Backend, ")
  endforeach()
  file(CONFIGURE OUTPUT ${file} CONTENT "// Written by CMake (kirake_backend_list): the backends of this build.
#include \"platform/backend.h\"

@declarations@
const Backend* const buildBackends[] = {@entries@nullptr};
" @ONLY)
endfunction()
