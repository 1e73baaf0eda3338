# What `cmake --install` puts under the prefix, and the Debian packages made from it
# (`cpack -G DEB` in the build folder). The festoonery package (component runtime):
#   bin/festoonery, bin/festoonery-capture, bin/festoonery-tool, bin/festoonery-launcher
#   share/festoonery/data.mvt                        the asset archive
#   share/applications/festoonery.desktop            the menu entry (runs the launcher)
#   share/metainfo/org.example.festoonery.metainfo.xml   its AppStream description
#   share/icons/hicolor/NxN/apps/festoonery.png      its icon (tools/assets/icon.py)
#   share/man/man1/*.1.gz                            one page per program, gzip -n -9
#   share/doc/festoonery/copyright                   every licence in it (DEP-5)
#   share/doc/festoonery/changelog.gz                the release history (Debian format)
# The festoonery-dev package (component dev), the engine for productions of their own:
#   include/festoonery/                              log.h, recover.h, util/, platform/, scenes/
#   lib/libfestoonery_*.a                            the engine's static libraries
#   lib/cmake/Festoonery/                            the CMake package (find_package(Festoonery))
#   lib/pkgconfig/festoonery.pc                      the same for pkg-config
#   share/festoonery/common/                         the common assets productions pack
#   share/doc/festoonery-dev/copyright               the licences
set(DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
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
set(compressed_dir ${PROJECT_BINARY_DIR}/dist)
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

set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME runtime)
install(TARGETS festoonery festoonery-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The packer is the greeting's tool and the one a production's build runs.
install(TARGETS festoonery-tool EXPORT FestooneryTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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

# The engine for productions of their own.
set(FESTOONERY_INSTALL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Festoonery)
set(FESTOONERY_INSTALL_COMMON_DIR ${CMAKE_INSTALL_DATADIR}/festoonery/common)
foreach(library base engine scenes shell offline main)
  set_target_properties(festoonery_${library} PROPERTIES EXPORT_NAME ${library})
endforeach()
install(TARGETS festoonery_base festoonery_engine festoonery_scenes festoonery_shell festoonery_offline
                festoonery_main
        EXPORT FestooneryTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# The headers a production includes: the log and the recovery points at the base, the
# layers below (the GTK backend's own header and the greeting's table stay inside).
install(FILES ${FESTOONERY_SRC}/main/log.h ${FESTOONERY_SRC}/main/recover.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/festoonery COMPONENT dev)
install(DIRECTORY ${FESTOONERY_SRC}/util ${FESTOONERY_SRC}/platform ${FESTOONERY_SRC}/scenes
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/festoonery COMPONENT dev
        FILES_MATCHING PATTERN "*.h" PATTERN "gtk" EXCLUDE PATTERN "production" EXCLUDE)
install(DIRECTORY ${FESTOONERY_COMMON_DIR}/ DESTINATION ${FESTOONERY_INSTALL_COMMON_DIR} COMPONENT dev)
install(EXPORT FestooneryTargets NAMESPACE Festoonery:: DESTINATION ${FESTOONERY_INSTALL_CMAKE_DIR}
        COMPONENT dev)
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/FestooneryConfig.cmake.in
    ${PROJECT_BINARY_DIR}/cmake/FestooneryConfig.cmake
    INSTALL_DESTINATION ${FESTOONERY_INSTALL_CMAKE_DIR} PATH_VARS FESTOONERY_INSTALL_COMMON_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/FestooneryConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/FestooneryConfig.cmake
              ${PROJECT_BINARY_DIR}/cmake/FestooneryConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/FestooneryDependencies.cmake
              ${PROJECT_SOURCE_DIR}/cmake/FestooneryProduction.cmake
        DESTINATION ${FESTOONERY_INSTALL_CMAKE_DIR} COMPONENT dev)
set(FESTOONERY_PC_REQUIRES "sdl gtk+-3.0 ftgl freetype2 harfbuzz fribidi fontconfig icu-uc tinyxml sndfile glew gl glu libjpeg zlib")
if(PULSE_FOUND)
  string(APPEND FESTOONERY_PC_REQUIRES " libpulse")
endif()
# The prefix as seen from the pkg-config file's folder (lib/pkgconfig, or
# lib/x86_64-linux-gnu/pkgconfig under /usr), so that the installed tree can move.
file(RELATIVE_PATH FESTOONERY_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" FESTOONERY_PC_PREFIX "${FESTOONERY_PC_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/festoonery.pc.in ${PROJECT_BINARY_DIR}/cmake/festoonery.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cmake/festoonery.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)
install(FILES ${DIST_DIR}/copyright ${compressed_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/festoonery-dev COMPONENT dev)
# lintian's overrides, each with its reason.
install(FILES ${DIST_DIR}/lintian/festoonery-dev DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        COMPONENT dev)

set(CPACK_PACKAGE_NAME festoonery)
set(CPACK_PACKAGE_VENDOR "Festoonery")
# Until the project has a domain of its own, an address under example.org (reserved for
# such use, so it reaches nobody by mistake).
set(CPACK_PACKAGE_CONTACT "Festoonery developers <festoonery@example.org>")
# Each package's first description line is its synopsis: set per component below, so
# CPACK_PACKAGE_DESCRIPTION_SUMMARY keeps CPack's default (which cpack would otherwise
# put before every component's description, the runtime's synopsis twice).
set(festoonery_synopsis "real-time audiovisual birthday greeting")
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

# Two packages, one per component: festoonery (runtime) and festoonery-dev (dev).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME festoonery)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "${festoonery_synopsis}\n${CPACK_PACKAGE_DESCRIPTION}")
# The faces that draw names in every script (festoonery --words, festoonery-capture --words):
# without them a name beyond the script font's Latin is refused, naming the package.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS
    "fonts-noto-core, fonts-noto-cjk, fonts-noto-color-emoji, fonts-kaushanscript")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME festoonery-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "real-time audiovisual demo engine (development files)\n"
    "The engine under Festoonery, for productions of their own: a beat timeline of\n"
    "scenes, a music clock from the audio position and the MIDI tempo, XML sync\n"
    "with MIDI-driven modulators, texture and shader loading, an asset archive, and\n"
    "the scenes of the greeting (starfield, fireworks, text scroller, picture,\n"
    "oscilloscope) as classes with parameters. Static libraries, headers, the CMake\n"
    "package Festoonery (festoonery_add_production), a pkg-config file and the\n"
    "common assets; the archive packer comes with the festoonery package.")
string(CONCAT CPACK_DEBIAN_DEV_DESCRIPTION ${CPACK_DEBIAN_DEV_DESCRIPTION})
# What a production's build needs besides the engine: the -dev packages its headers
# and static libraries use, and the packer (festoonery-tool, in festoonery).
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "festoonery (= ${PROJECT_VERSION}), cmake (>= 3.25), pkgconf | pkg-config, libsdl1.2-compat-dev | libsdl1.2-dev, libglew-dev, libglu1-mesa-dev | libglu-dev, libgl-dev, libftgl-dev, libfreetype-dev, libharfbuzz-dev, libfribidi-dev, libfontconfig-dev, libicu-dev, libjpeg-dev, libtinyxml-dev, libsndfile1-dev, libgtk-3-dev, zlib1g-dev, libpulse-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
include(CPack)
