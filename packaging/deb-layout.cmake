# Run by CPack on the staged tree before the Debian package is made: the game moves from usr/bin to
# usr/games, as Debian's games policy asks (it finds its data as ../share/kirake/data from there too).
# The tools are not games and stay in usr/bin.
set(root ${CPACK_TEMPORARY_DIRECTORY}/usr)
if(EXISTS ${root}/bin/kirake)
  file(MAKE_DIRECTORY ${root}/games)
  file(RENAME ${root}/bin/kirake ${root}/games/kirake)
endif()
if(NOT EXISTS ${root}/games/kirake)
  message(FATAL_ERROR "the staged package has no usr/games/kirake")
endif()
