# What `cmake --install` puts under the prefix, and the Debian package made from it
# (`cpack -G DEB` in the build folder):
#   bin/festoonery, bin/festoonery-capture, bin/festoonery-tool, bin/festoonery-launcher
#   share/festoonery/data.mvt                        the asset archive
#   share/applications/festoonery.desktop            the menu entry (runs the launcher)
#   share/icons/hicolor/NxN/apps/festoonery.png      its icon (tools/assets/icon.py)
#   share/man/man1/*.1                               one page per program
set(DIST_DIR ${CMAKE_SOURCE_DIR}/dist)

install(TARGETS festoonery festoonery-capture festoonery-tool
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${DIST_DIR}/festoonery-launcher DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET festoonery-archive)
  install(FILES ${FESTOONERY_RUNTIME_DIR}/data.mvt DESTINATION ${CMAKE_INSTALL_DATADIR}/festoonery)
endif()
install(FILES ${DIST_DIR}/festoonery.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${DIST_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${DIST_DIR}/man/festoonery.1 ${DIST_DIR}/man/festoonery-capture.1
              ${DIST_DIR}/man/festoonery-tool.1 ${DIST_DIR}/man/festoonery-launcher.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME festoonery)
set(CPACK_PACKAGE_VENDOR "Festoonery")
set(CPACK_PACKAGE_CONTACT "Festoonery developers <festoonery@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual birthday greeting")
set(CPACK_PACKAGE_DESCRIPTION
    "A birthday greeting that plays its soundtrack and renders OpenGL scenes in step with\n"
    "the music's beat: a scrolling greeting, a picture, an oscilloscope of the music, a\n"
    "starfield and fireworks. With festoonery-capture, which renders it offline into PNG\n"
    "frames or a video, and festoonery-tool, which packs and inspects its asset archive.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # festoonery_VERSION_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the binaries themselves (dpkg-shlibdeps, package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
