# Installation as Linux users expect it (GNUInstallDirs), and the Debian
# package that CPack makes of it (scripts/package-deb):
#   bin/nimbrel-render                       the command-line renderer
#   bin/nimbrel-explore                      the explorer
#   libexec/xscreensaver/nimbrel             the hack, where XScreenSaver looks
#   share/xscreensaver/config/nimbrel.xml    its page in xscreensaver-settings
#   share/nimbrel/gallery/                   the gallery: the show's scenes and palettes
#   share/nimbrel/samples/                   the sample scenes and palettes
#   share/man/man1/nimbrel-render.1.gz, nimbrel-explore.1.gz, man6/nimbrel.6.gz
#   share/doc/nimbrel/copyright, CHANGELOG.md   the licence and the changes
# The version is the project's.
if(TARGET nimbrel-render)
  install(TARGETS nimbrel-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET nimbrel-explore)
  install(TARGETS nimbrel-explore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# Debian keeps them under the package's name.
install(FILES packaging/copyright CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbrel)
if(TARGET nimbrel_hack)
  install(TARGETS nimbrel_hack RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
  install(FILES apps/nimbrel/nimbrel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
endif()
install(DIRECTORY gallery/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nimbrel/gallery)
install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nimbrel/samples)

# The manual pages carry the version and are installed compressed.
find_program(NIMBREL_GZIP gzip)
set(NIMBREL_MAN_PAGES "")
if(TARGET nimbrel-render)
  list(APPEND NIMBREL_MAN_PAGES apps/nimbrel-render/nimbrel-render.1)
endif()
if(TARGET nimbrel-explore)
  list(APPEND NIMBREL_MAN_PAGES apps/nimbrel-explore/nimbrel-explore.1)
endif()
if(TARGET nimbrel_hack)
  list(APPEND NIMBREL_MAN_PAGES apps/nimbrel/nimbrel.6)
endif()
if(NIMBREL_GZIP)
  set(NIMBREL_MAN_OUTPUTS "")
  foreach(page ${NIMBREL_MAN_PAGES})
    get_filename_component(name ${page} NAME)
    string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
    configure_file(${page} ${CMAKE_BINARY_DIR}/man/${name} @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${name}.gz
      COMMAND ${NIMBREL_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/man/${name}
      DEPENDS ${CMAKE_BINARY_DIR}/man/${name} VERBATIM)
    list(APPEND NIMBREL_MAN_OUTPUTS ${CMAKE_BINARY_DIR}/man/${name}.gz)
    install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()
  add_custom_target(nimbrel_man ALL DEPENDS ${NIMBREL_MAN_OUTPUTS})
endif()

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VENDOR "Nimbrel")
set(CPACK_PACKAGE_CONTACT "Nimbrel developers <nimbrel@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fractal screen saver: Mandelbrot and Julia sets for XScreenSaver")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Nimbrel shows pictures of the Mandelbrot set and of Julia sets, drawn as they grow,
in nine draw methods from plain row-by-row drawing to shaded relief. The package
holds the XScreenSaver hack nimbrel (add it to the programs of ~/.xscreensaver),
the explorer nimbrel-explore, which finds views to any depth and keeps them as
scene lines, the command-line renderer nimbrel-render, which draws the same
pictures into PNG files, and sample scenes and palettes.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# cpack packs what has been built (scripts/package-deb builds first), and
# never starts a build of its own in a build folder whose programs the tests
# may be running.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
if(NOT CPACK_GENERATOR)
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
