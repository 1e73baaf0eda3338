#include "scenes/scenemanager.h"

#include <FTGL/ftgl.h>
#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "main/log.h"
#include "platform/system.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/shaderset.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_imagedisplay/scene_imagedisplay.h"
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"
#include "scenes/scene_starfield/scene_starfield.h"
#include "util/ascii/asciiengine.h"
#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/random.h"
#include "util/util/util.h"

namespace {

// Colour, depth, stencil and accumulation buffers.
constexpr GLbitfield kClearAll = 0x4700;

template <class T>
Scene* createScene() {
    return new T();
}

}  // namespace

const TimelineEntry kTimeline[kTimelineLength] = {
    {"ImageDisplay", createScene<ImageDisplay>, 20.0f, 52.0f},
    {"BirthText", createScene<BirthText>, 0.0f, 52.0f},
    {"Oscilloscope", createScene<Oscilloscope>, 20.0f, 52.0f},
    {"Starfield", createScene<Starfield>, 52.0f, 5000.0f},
    {"Fireworks", createScene<Fireworks>, 52.0f, 5000.0f},
};

bool sceneActiveAt(float startBeat, float endBeat, float beat) {
    return startBeat <= beat && beat <= endBeat;
}

bool pushQuitUnlessPlaying(HSTREAM stream) {
    if (BASS_ChannelIsActive(stream) == BASS_ACTIVE_PLAYING) return false;
    SDL_Event quit;
    memset(&quit, 0, sizeof quit);
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    return true;
}

SceneManager::SceneManager() {
    memset(keyState.held, 0, sizeof keyState.held);

    float secondsPerTick = 0.001f;
    int64_t startCount = 0;
    int64_t frequency = 0;
    if (platform::performanceFrequency(&frequency) && frequency != 0) {
        secondsPerTick = static_cast<float>(1.0 / static_cast<double>(frequency));
        platform::performanceCounter(&startCount);
    }
    setFrameTimerConstants(secondsPerTick, startCount);

    font = loadFont("data/common/fonts/courier_new.ttf");
    if (!font->FaceSize(48, 72)) FATAL("Failed to set the size of font data/common/fonts/courier_new.ttf");
    font->CharMap(ft_encoding_unicode);
    watchFont(&font, "data/common/fonts/courier_new.ttf");

    shaders = new ShaderSet();
    fbo = new Fbo();
    ascii = new AsciiEngine();
    music = new Music();

    logLine("=== Loading Scenes ===\n");
    for (const TimelineEntry& entry : kTimeline) {
        logLine(" [%s]\n", entry.name);
        Scene* scene = entry.create();
        scenes.push_back(scene);
        scene->startBeat = entry.startBeat;
        scene->endBeat = entry.endBeat;
        scene->music = music;
        scene->shaders = shaders;
        scene->fbo = fbo;
        scene->ascii = ascii;
        scene->init();
    }
    logLine("=== Done loading %i scene(s) ===\n", static_cast<int>(scenes.size()));

    for (int i = 0; i < 2; ++i) {
        glClear(kClearAll);
        SDL_GL_SwapBuffers();
    }
}

// The shared resources stay until the process ends.
SceneManager::~SceneManager() {
    for (Scene* scene : scenes) {
        scene->deinit();
        delete scene;
    }
    scenes.clear();
    scenes.shrink_to_fit();
}

void SceneManager::resize(int w, int h) {
    width = w;
    height = h;
    fbo->resize(w, h);
    ascii->width = w;
    ascii->height = h;
}

void SceneManager::start() {
    seed = platform::tickCount();
    seedRandom(seed);
    BASS_ChannelSetAttribute(music->stream, BASS_ATTRIB_VOL, 1.0f);
    music->play();
    while (music->beat() < 0.0f) {
    }
}

void SceneManager::frame() {
    CHECK_GL();
    updateFrameTime();
    music->update();
    if (endsWithMusic) pushQuitUnlessPlaying(music->stream);
    drawScenes(simulating);
}

void SceneManager::redrawFrame() {
    CHECK_GL();
    drawScenes(false);
}

void SceneManager::drawScenes(bool simulate) {
    glClear(kClearAll);
    for (Scene* scene : scenes) {
        float beat = music->beat();
        if (!sceneActiveAt(scene->startBeat, scene->endBeat, beat)) continue;
        scene->keys = &keyState;
        CHECK_GL();
        scene->applyState();
        CHECK_GL();
        scene->resize(width, height);
        CHECK_GL();
        if (simulate) {
            scene->simulate();
            ++scene->simulations;
        }
        scene->draw();
        CHECK_GL();
    }
    if (keyState.held[KeyState::kInfoOverlay]) drawOverlay();
    SDL_GL_SwapBuffers();
}

void SceneManager::simulateFrame() {
    updateFrameTime();
    music->update();
    for (Scene* scene : scenes) {
        if (sceneActiveAt(scene->startBeat, scene->endBeat, music->beat())) {
            scene->simulate();
            ++scene->simulations;
        }
    }
}

void SceneManager::restartScenes() {
    for (Scene* scene : scenes) scene->restart();
}

void SceneManager::drawOverlay() {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glColor4f(1, 1, 1, 1);
    ShaderProgram::unbind();
    glDisable(GL_DEPTH_TEST);

    // The translations add up: the second line sits at 80 percent of the height.
    glTranslatef(0, height - height * 0.1f, 0);
    fontPrintf(font, "fps: %.0f", 1.0f / frameTime);
    glTranslatef(0, -height * 0.1f, 0);
    fontPrintf(font, "beat: %.2f", music->beat());
    for (const std::string& note : overlayNotes) {
        glTranslatef(0, -height * 0.1f, 0);
        fontPrintf(font, "%s", note.c_str());
    }
}

void SceneManager::keyEvent(bool pressed, int keySymbol) { applyKeyEvent(&keyState, pressed, keySymbol); }
