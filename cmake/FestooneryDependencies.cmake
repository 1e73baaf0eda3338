# The libraries the engine links, as imported targets: found by the engine's own build
# and again by an installed engine's package (FestooneryConfig.cmake), whose targets name
# them. FESTOONERY_LIBS: the ones every engine user links.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL REQUIRED IMPORTED_TARGET sdl)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(FTGL REQUIRED IMPORTED_TARGET ftgl)
# FreeType itself: words of the command line are drawn from its glyphs.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
# Words of any script (a greeting's own names): shaping, bidirectional order, fallback
# faces, NFC, character and script names.
pkg_check_modules(HARFBUZZ REQUIRED IMPORTED_TARGET harfbuzz)
pkg_check_modules(FRIBIDI REQUIRED IMPORTED_TARGET fribidi)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc)
pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
# Optional: where the PulseAudio client library is there, the audio layer plays through
# it and reads the server's own playback clock (SDL remains for every other output).
pkg_check_modules(PULSE IMPORTED_TARGET libpulse)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(GLEW REQUIRED)
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

set(FESTOONERY_LIBS PkgConfig::SDL PkgConfig::GTK3 PkgConfig::FTGL PkgConfig::FREETYPE PkgConfig::HARFBUZZ
    PkgConfig::FRIBIDI PkgConfig::FONTCONFIG PkgConfig::ICU PkgConfig::TINYXML
    PkgConfig::SNDFILE GLEW::GLEW OpenGL::GL OpenGL::GLU JPEG::JPEG)
