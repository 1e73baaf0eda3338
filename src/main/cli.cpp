#include "main/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/system.h"
#include "scenes/production_info.h"
#include "util/data/datafile_path.h"

#ifndef FESTOONERY_VERSION
#define FESTOONERY_VERSION "unknown"
#endif

namespace {

bool isProgram(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// An installed tool lies beside the program; in a build tree, the capture tool lies
// beside it and the others in tools/NAME/ of the build.
std::string toolLocation(const std::string& programFolder, const std::string& name) {
    const std::string places[] = {programFolder + "/" + name,
                                  programFolder + "/../tools/" + name + "/" + name};
    for (const std::string& place : places)
        if (isProgram(place)) return place;
    return name + " (not beside this program)";
}

}  // namespace

CommandLineRequest commandLineRequest(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) return CommandLineRequest::Help;
        if (strcmp(argv[i], "--version") == 0) return CommandLineRequest::Version;
    }
    return CommandLineRequest::Run;
}

std::string versionText(const ProductionInfo& production) {
    return std::string(production.program) + " " + FESTOONERY_VERSION + "\n";
}

std::string usageText(const std::string& programFolder, const ProductionInfo& production) {
    const std::string program = production.program;
    std::string text =
        "Usage: " + program + (production.hasWords ? " [--dev] [--words LIST | --words-file FILE]\n" : " [--dev]\n") +
        "       " + program + " --capture [OPTIONS] OUTPUT\n"
        "       " + program + " --help | --version\n"
        "\n" +
        program + ": " + production.description + ".\n"
        "It plays its soundtrack and renders OpenGL scenes in step with the music's beat.\n"
        "It starts with the setup dialog (resolution, anti-aliasing, full screen, vsync);\n"
        "\"Runit\" saves the choice and opens the window. Escape or closing the window ends\n"
        "the run, the i key held down shows the frame overlay, and the run ends by itself\n"
        "with the music. Progress and diagnostics go to standard output; a fatal problem\n"
        "shows a message box and ends with status 1. Every other argument is ignored.\n"
        "\n"
        "  --dev      development mode: no setup dialog (the settings of default.cfg, in a\n"
        "             window), assets from the loose tree data/common/, keys that pause,\n"
        "             seek, loop and reload, and files under data/common/ reloaded when\n"
        "             they change\n" +
        std::string(production.hasWords
                        ? "  --words LIST  eight words of your own in place of the greeting's, in drawing\n"
                          "             order, comma-separated (a comma inside a word is \\,), for a party\n"
                          "  --words-file FILE  the same eight words from a UTF-8 file, one a line\n"
                          "             Names in any script are drawn (an installed face that has the\n"
                          "             letters where the script font has not), and a word too long\n"
                          "             for the frame is moved in or made smaller; words it cannot\n"
                          "             take are refused with status 2\n"
                        : "") +
        "  --capture  the capture instead of the window: every later argument is\n"
        "             festoonery-capture's (" + program + " --capture --help lists them)\n"
        "  --help     this text\n"
        "  --version  the version\n"
        "\n"
        "Environment:\n"
        "  FESTOONERY_UI       auto (default), gtk or script: how message boxes and the\n"
        "                      setup dialog are shown; auto takes GTK when a display can be\n"
        "                      opened; script writes every box to standard error as a line\n"
        "                      and answers it from FESTOONERY_ANSWERS\n"
        "  FESTOONERY_ANSWERS  comma-separated ok and cancel: the answers of script mode,\n"
        "                      in order (ok once used up); the setup dialog takes one\n"
        "  FESTOONERY_DATA     archive (default), disk or record: assets from data.mvt,\n"
        "                      from the loose tree data/common/, or from the tree while\n"
        "                      packing everything loaded into a new data.mvt\n"
        "  SDL_AUDIODRIVER     SDL's audio driver; dummy plays silently on the real clock\n"
        "                      (as the demo does by itself where there is no sound device)\n"
        "  SDL_VIDEODRIVER     SDL's video driver (by default x11 or wayland)\n"
        "  SDL12COMPAT_OPENGL_SCALING\n"
        "                      1: frames drawn into sdl12-compat's framebuffer and scaled\n"
        "                      onto the screen; by default 0 (straight onto it) in a window\n"
        "                      and in fullscreen at the desktop's size\n"
        "\n"
        "Files:\n"
        "  default.cfg  the display settings, in the working folder: read at start,\n"
        "               written when the setup dialog is confirmed\n"
        "  data.mvt     the asset archive, the first one found of:\n";
    const std::vector<std::string> places = datafileCandidates(programFolder);
    for (size_t i = 0; i < places.size(); ++i)
        text += "                 " + places[i] + (i == 0 ? " in the working folder\n" : "\n");
    text +=
        "\n"
        "Tools:\n";
    if (production.hasWords) {
        text +=
            "  festoonery-capture  renders the greeting offline into PNG frames or a video,\n"
            "                      also with eight words of your own (--words):\n"
            "                      ";
        text += toolLocation(programFolder, "festoonery-capture");
        text += "\n";
    }
    text +=
        "  festoonery-tool     packs, lists and extracts asset archives and checks images,\n"
        "                      MIDI files and sync descriptions:\n"
        "                      ";
    text += toolLocation(programFolder, "festoonery-tool");
    text +=
        "\n"
        "\n"
        "Each tool explains itself with --help.\n";
    return text;
}

bool answerCommandLine(int argc, char** argv) {
    switch (commandLineRequest(argc, argv)) {
        case CommandLineRequest::Help:
            fputs(usageText(platform::executableFolder(), thisProduction()).c_str(), stdout);
            return true;
        case CommandLineRequest::Version:
            fputs(versionText(thisProduction()).c_str(), stdout);
            return true;
        case CommandLineRequest::Run:
            break;
    }
    return false;
}
