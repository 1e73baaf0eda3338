# What `cmake --install` puts under the prefix, and the Debian package made from it
# (`cpack -G DEB` in the build folder):
#   bin/festoonery, bin/festoonery-capture, bin/festoonery-tool, bin/festoonery-launcher
#   share/festoonery/data.mvt                        the asset archive
#   share/applications/festoonery.desktop            the menu entry (runs the launcher)
#   share/metainfo/org.example.festoonery.metainfo.xml   its AppStream description
#   share/icons/hicolor/NxN/apps/festoonery.png      its icon (tools/assets/icon.py)
#   share/man/man1/*.1.gz                            one page per program, gzip -n -9
#   share/doc/festoonery/copyright                   every licence in it (DEP-5)
#   share/doc/festoonery/changelog.gz                the release history (Debian format)
set(DIST_DIR ${CMAKE_SOURCE_DIR}/dist)
set(FESTOONERY_METAINFO org.example.festoonery.metainfo.xml)

# The version is written in three places: the project, the changelog's latest entry and
# the metainfo's latest release. A release that bumps one of them only is refused here.
file(STRINGS ${DIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "^festoonery \\(([^)]+)\\)" _ "${changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "dist/changelog's latest entry is version '${CMAKE_MATCH_1}', "
                      "the project's is ${PROJECT_VERSION}")
endif()
file(READ ${DIST_DIR}/${FESTOONERY_METAINFO} metainfo_text)
string(REGEX MATCH "<release version=\"([^\"]+)\"" _ "${metainfo_text}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "dist/${FESTOONERY_METAINFO}'s latest release is version "
                      "'${CMAKE_MATCH_1}', the project's is ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog go compressed, as Debian wants them: gzip -9 for the
# smallest file, -n so that the file holds neither name nor time stamp and two builds
# of the same text give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(FESTOONERY_MAN_PAGES festoonery festoonery-capture festoonery-tool festoonery-launcher)
set(compressed_dir ${CMAKE_BINARY_DIR}/dist)
set(compressed_files)
foreach(source IN ITEMS ${FESTOONERY_MAN_PAGES} changelog)
  if(source STREQUAL changelog)
    set(input ${DIST_DIR}/changelog)
    set(output ${compressed_dir}/changelog.gz)
  else()
    set(input ${DIST_DIR}/man/${source}.1)
    set(output ${compressed_dir}/man/${source}.1.gz)
  endif()
  get_filename_component(output_dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND ${GZIP_PROGRAM} -n -9 -c ${input} > ${output}
    DEPENDS ${input} VERBATIM)
  list(APPEND compressed_files ${output})
endforeach()
add_custom_target(festoonery-dist-compressed ALL DEPENDS ${compressed_files})

install(TARGETS festoonery festoonery-capture festoonery-tool
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${DIST_DIR}/festoonery-launcher DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET festoonery-archive)
  install(FILES ${FESTOONERY_RUNTIME_DIR}/data.mvt DESTINATION ${CMAKE_INSTALL_DATADIR}/festoonery)
endif()
install(FILES ${DIST_DIR}/festoonery.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${DIST_DIR}/${FESTOONERY_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${DIST_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
list(TRANSFORM FESTOONERY_MAN_PAGES REPLACE "(.+)" "${compressed_dir}/man/\\1.1.gz"
     OUTPUT_VARIABLE man_files)
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# share/doc/festoonery whatever the project is called (GNUInstallDirs' DOCDIR).
install(FILES ${DIST_DIR}/copyright ${compressed_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/festoonery)

set(CPACK_PACKAGE_NAME festoonery)
set(CPACK_PACKAGE_VENDOR "Festoonery")
# Until the project has a domain of its own, an address under example.org (reserved for
# such use, so it reaches nobody by mistake).
set(CPACK_PACKAGE_CONTACT "Festoonery developers <festoonery@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual birthday greeting")
# Debian's control file: lines of at most 79 characters after the leading blank.
set(CPACK_PACKAGE_DESCRIPTION
    "A birthday greeting that plays its soundtrack and renders OpenGL scenes in\n"
    "step with the music's beat: a scrolling greeting, a picture, an oscilloscope\n"
    "of the music, a starfield and fireworks. With festoonery-capture, which\n"
    "renders it offline into PNG frames or a video, and festoonery-tool, which\n"
    "packs and inspects its asset archive.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # festoonery_VERSION_amd64.deb
# A player of an audiovisual production and a tool that makes videos of it (the menu
# entry's AudioVideo); "games" is for packages with games in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the binaries themselves (dpkg-shlibdeps, package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
