// The entry of every production's program (the production is thisProduction()):
// settings and setup dialog, the OpenGL window, the extension checks, loading, and the
// main loop until Escape, the window's close or the music's end. --capture hands the
// run to the capture instead (tools/capture/lib/capture_main.h, tools/capture/main.cpp).
#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/capture_main.h"
#include "main/asset_list.h"
#include "main/cli.h"
#include "main/dev_mode.h"
#include "main/events.h"
#include "log.h"
#include "main/multisample.h"
#include "main/settings.h"
#include "main/setup_dialog.h"
#include "main/video_driver.h"
#include "platform/files.h"
#include "platform/msgbox.h"
#include "platform/quit_signal.h"
#include "platform/system.h"
#include "scenes/greeting_words.h"
#include "scenes/production_info.h"
#include "scenes/scene/sprites.h"
#include "scenes/scenemanager.h"
#include "util/data/data.h"
#include "util/data/datafile_path.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/reloadable.h"

namespace {

struct RequiredExtension {
    const GLboolean* available;  // GLEW's flag, valid after glewInit
    const char* name;
};

// Asks about each missing extension, in this order; each question returns only on OK.
void checkExtensions() {
    const RequiredExtension extensions[] = {
        {&GLEW_ARB_vertex_program, "GLEW_ARB_vertex_program"},
        {&GLEW_ARB_fragment_program, "GLEW_ARB_fragment_program"},
        {&GLEW_ARB_multitexture, "GLEW_ARB_multitexture"},
        {&GLEW_ARB_vertex_shader, "GLEW_ARB_vertex_shader"},
        {&GLEW_ARB_fragment_shader, "GLEW_ARB_fragment_shader"},
        {&GLEW_ARB_multisample, "GLEW_ARB_multisample"},
        {&GLEW_ARB_point_sprite, "GLEW_ARB_point_sprite"},
        {&GLEW_EXT_texture_filter_anisotropic, "GLEW_EXT_texture_filter_anisotropic"},
        {&GLEW_ARB_vertex_buffer_object, "GLEW_ARB_vertex_buffer_object"},
        {&GLEW_EXT_framebuffer_object, "GLEW_EXT_framebuffer_object"},
        {&GLEW_ARB_texture_non_power_of_two, "GLEW_ARB_texture_non_power_of_two"},
        {&GLEW_ARB_texture_float, "GLEW_ARB_texture_float"},
        {&GLEW_ARB_draw_buffers, "GLEW_ARB_draw_buffers"},
    };
    for (const RequiredExtension& e : extensions) {
        if (!*e.available) askExtension(e.name);  // returns only on OK
    }
}

// Steps 8-16: OpenGL attributes, the window, GLEW and the extension questions.
void openWindow(int depth) {
    // The file already holds the flags without these two bits.
    DisplaySettings::flags = int32_t(uint32_t(DisplaySettings::flags) | SDL_OPENGL | SDL_RESIZABLE);
    // A sample count the display lacks falls back to one it has (multisample.h).
    if (!openVideoModeWithFallback(DisplaySettings::width, DisplaySettings::height, depth,
                                   uint32_t(DisplaySettings::flags), DisplaySettings::samples,
                                   DisplaySettings::vsync))
        FATAL("Video mode set failed: %s\n", SDL_GetError());
    SDL_WM_SetCaption(thisProduction().title, nullptr);

    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    logLine("Created %ix%i surface with %i samples\n", int(DisplaySettings::width),
            int(DisplaySettings::height), int(samples));

    GLenum glew = glewInit();
    if (glew != GLEW_OK) FATAL("GLEW Error: %s\n", glewGetErrorString(glew));
    logLine("Using GLEW %s\n", glewGetString(GLEW_VERSION));

    checkExtensions();
    CHECK_GL();
}

// Key and resize events go to the scene manager.
class SceneManagerEvents : public EventTarget {
public:
    explicit SceneManagerEvents(SceneManager* manager) : manager_(manager) {}
    void keyEvent(bool pressed, SDLKey key) override { manager_->keyEvent(pressed, key); }
    void resize(int width, int height) override { manager_->resize(width, height); }

private:
    SceneManager* manager_;
};

// Development mode takes its keys first.
class DevModeEvents : public SceneManagerEvents {
public:
    DevModeEvents(SceneManager* manager, DevMode* dev) : SceneManagerEvents(manager), dev_(dev) {}
    void keyEvent(bool pressed, SDLKey key) override {
        if (!dev_->keyEvent(pressed, key)) SceneManagerEvents::keyEvent(pressed, key);
    }

private:
    DevMode* dev_;
};

// "--capture" anywhere: the capture's command line with that word taken out (its OUTPUT
// and options follow it, as festoonery-capture takes them).
int captureIfAsked(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        if (!asked && strcmp(argv[i], "--capture") == 0) asked = true;
        else rest.push_back(argv[i]);
    }
    if (!asked) return -1;
    const char* slash = strrchr(argv[0], '/');
    std::string program = std::string(slash ? slash + 1 : argv[0]) + " --capture";
    return offline::captureMain(program.c_str(), int(rest.size()), rest.data());
}

}  // namespace

int main(int argc, char** argv) {
    // The installed archive lies in share/PROGRAM/.
    setInstalledDataName(thisProduction().program);
    // The build asks which common assets the archive packs.
    int listed = answerAssetList(argc, argv);
    if (listed >= 0) return listed;
    // --capture hands every later argument to the capture (its own --help too).
    int captured = captureIfAsked(argc, argv);
    if (captured >= 0) return captured;
    // --help and --version are answered before anything starts.
    if (answerCommandLine(argc, argv)) return 0;
    // Ctrl+C and SIGTERM end the run in order wherever it is (before SDL_Init: SDL then
    // keeps its own handlers out).
    platform::installQuitSignals();
    // A production with words takes eight others for a party (--words, --words-file);
    // words it cannot take are refused before anything starts. Every other argument is
    // ignored, as it always was.
    std::vector<std::string> words;
    if (thisProduction().hasWords) {
        std::string why;
        if (!greetingWordsArguments(argc, argv, &words, &why)) {
            fprintf(stderr, "%s: %s\n", thisProduction().program, why.c_str());
            return 2;
        }
        setGreetingWords(words);
    }
    const bool dev = devModeRequested(argc, argv);
    // The loose asset tree, so that edited files are what is loaded and reloaded.
    if (dev) setenv("FESTOONERY_DATA", "disk", 1);
    // Images and fonts remember their files, so that development mode can load them again.
    if (dev) reloadable::enable();
    // A shader that fails to build stands in drawing nothing, its log on the screen,
    // until a save fixes it (a reload rebuilds it).
    if (dev) setShaderFailuresFatal(false);
    // Logs are read live, also when stdout is a pipe or a file.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // A settings save past the file-size limit fails (and is logged) instead of killing the run.
    platform::ignoreFileSizeSignal();
    // GTK opens its display before SDL opens any window.
    platform::uiBackend();

    platform::dlg::HINSTANCE instance = platform::dlg::moduleInstance();
    // Only drivers that open a window: never one that draws into the terminal.
    chooseVideoDrivers();
    if (SDL_Init(SDL_INIT_VIDEO) < 0) FATAL("Video initialization failed: %s\n", SDL_GetError());
    const SDL_version* version = SDL_Linked_Version();
    logLine("Using SDL version %i.%i.%i\n", int(version->major), int(version->minor),
            int(version->patch));
    // The window takes the desktop's depth, read before any video mode is set.
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    int depth = info && info->vfmt ? info->vfmt->BitsPerPixel : 0;
    const int desktopWidth = info ? info->current_w : 0, desktopHeight = info ? info->current_h : 0;

    loadSettings();
    if (dev) {
        // The settings as they stand, no dialog, and always in a window.
        logLine("[dev] development mode: settings of default.cfg, windowed, assets from data/common/\n");
        DisplaySettings::flags = int32_t(uint32_t(DisplaySettings::flags) & ~uint32_t(SDL_FULLSCREEN));
        // A folder without default.cfg (a new production's run folder) has no size chosen:
        // a window of 1280x720 instead of a failed video mode.
        if (DisplaySettings::width <= 0 || DisplaySettings::height <= 0) {
            DisplaySettings::width = 1280;
            DisplaySettings::height = 720;
            logLine("[dev] no window size in default.cfg, using 1280x720\n");
        }
    } else {
        int confirmed = runSetupDialog(instance);
        // A quit signal while the dialog was up cancels it.
        if (platform::quitRequested()) confirmed = 2;
        if (confirmed != 1) {
            if (confirmed == -1) logLine("-1 returned, last error is %d\n", int(platform::lastError()));
            logLine("Bye!\n");
            return 0;
        }
        saveSettings();
    }

    // A window, or fullscreen at the desktop's size, draws straight onto the screen, not
    // through sdl12-compat's scaling framebuffer (video_driver.h); its video reads that
    // when it starts, so it starts again.
    const bool atDesktopSize = DisplaySettings::width == desktopWidth && DisplaySettings::height == desktopHeight;
    if (chooseOpenGLScaling((uint32_t(DisplaySettings::flags) & SDL_FULLSCREEN) != 0, atDesktopSize)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) < 0) FATAL("Video initialization failed: %s\n", SDL_GetError());
    }
    openWindow(depth);

    // Loading, from the archive unless the start-up data mode says otherwise.
    selectStartupDataMode();
    readDatafile();
    if (!words.empty()) {
        bool fontMissing = false;
        std::string why = undrawableWordsReason(words, &fontMissing);
        if (fontMissing) FATAL("%s", why.c_str());
        if (!why.empty()) {
            fprintf(stderr, "%s: %s\n", thisProduction().program, why.c_str());
            SDL_Quit();
            return 2;
        }
        logLine("Drawing the words of the command line: %s, %s, %s, %s, %s, %s, %s, %s\n", words[0].c_str(),
                words[1].c_str(), words[2].c_str(), words[3].c_str(), words[4].c_str(), words[5].c_str(),
                words[6].c_str(), words[7].c_str());
    }
    SceneManager* manager = new SceneManager();
    writeDatafile();
    CHECK_GL();
    manager->resize(DisplaySettings::width, DisplaySettings::height);
    chooseParticlePathAhead(DisplaySettings::width, DisplaySettings::height);
    CHECK_GL();
    if (uint32_t(DisplaySettings::flags) & SDL_FULLSCREEN) {
        logLine("Got fullscreen, hiding cursor and waiting for a couple of seconds for display to "
                "adjust\n");
        SDL_ShowCursor(SDL_DISABLE);
        platform::sleepMs(2000);
        logLine("Running...\n");
    }
    manager->start();
    CHECK_GL();
    SceneManagerEvents events(manager);
    EventTarget* target = &events;
    DevMode* devMode = dev ? new DevMode(manager) : nullptr;
    DevModeEvents devEvents(manager, devMode);
    if (devMode) target = &devEvents;

    bool quit = false;
    SDL_Event event;
    while (true) {
        while (SDL_PollEvent(&event)) handleEvent(event, target, &quit);
        if (platform::quitRequested()) quit = true;  // as SDL_QUIT
        if (devMode) devMode->beforeFrame();
        manager->frame();
        // Looked at only after the frame: a quit still gets one more frame drawn.
        if (quit) break;
    }

    delete devMode;
    delete manager;
    SDL_Quit();
    return 0;
}
