# The Debian package, made by CPack: ./setup package writes build/kirake_<version>_<arch>.deb.
# The game goes to /usr/games, as Debian's games policy asks; the tools, which are not games, to /usr/bin.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/deb-layout.cmake)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kirake)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small story game with three partners to meet")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"kirake is a short story game in the manner of the late 1990s: 640x480 in
256 colours, the story typed out a character at a time, and music from its
own wavetable step sequencer. One question at the start decides whom you
meet: three partners, each with a route of their own, and an ending with a
staff roll. It plays full screen or in a window, with the keyboard or a game
controller.
.
The package also holds the tools to make your own story, pictures and songs
for it: kirake-check, kirake-art and kirake-song.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The tools in /usr/bin make lintian warn "package-section-games-but-has-usr-bin": kept, because they are
# authoring tools, not games, and Debian's games policy puts only the game itself in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(KIRAKE_MAINTAINER "kirake maintainers <maintainers@kirake.example.org>" CACHE STRING
    "The package's maintainer, NAME <ADDRESS>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KIRAKE_MAINTAINER}")
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fonts the game prefers for its text (any Japanese Gothic font works).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-vlgothic")

# The copyright file and the changelog every Debian package carries in /usr/share/doc/kirake.
set(KIRAKE_DEB_DOC ${CMAKE_CURRENT_BINARY_DIR}/deb-doc)
string(SUBSTRING ${KIRAKE_RELEASE_DATE} 0 4 KIRAKE_COPYRIGHT_YEAR)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/copyright.in ${KIRAKE_DEB_DOC}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/changelog.in ${KIRAKE_DEB_DOC}/changelog @ONLY)
add_custom_command(
  OUTPUT ${KIRAKE_DEB_DOC}/changelog.gz
  COMMAND gzip -9nkf ${KIRAKE_DEB_DOC}/changelog
  DEPENDS ${KIRAKE_DEB_DOC}/changelog
  VERBATIM)
add_custom_target(kirake_changelog ALL DEPENDS ${KIRAKE_DEB_DOC}/changelog.gz)
install(FILES ${KIRAKE_DEB_DOC}/copyright ${KIRAKE_DEB_DOC}/changelog.gz ${PROJECT_SOURCE_DIR}/docs/authoring.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
