#include "scenes/scenemanager.h"

#include <FTGL/ftgl.h>
#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "platform/system.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/shaderset.h"
#include "scenes/scene/splats.h"
#include "util/ascii/asciiengine.h"
#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shader_inputs.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/random.h"
#include "util/util/util.h"

namespace {

// Colour, depth, stencil and accumulation buffers.
constexpr GLbitfield kClearAll = 0x4700;

}  // namespace


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

SceneManager::SceneManager() : SceneManager(thisProduction()) {}

SceneManager::SceneManager(const ProductionInfo& info) : production(&info) {
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

    shaders = new ShaderSet(info.buildAllShaders);
    fbo = new Fbo();
    ascii = new AsciiEngine();
    music = new Music(info.syncPath);

    logLine("=== Loading Scenes ===\n");
    for (const TimelineEntry& entry : info.timeline) {
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
    noteSplatFrameCleared();
    for (Scene* scene : scenes) {
        float beat = music->beat();
        if (!sceneActiveAt(scene->startBeat, scene->endBeat, beat)) continue;
        updateShaderInputs(beat);
        scene->keys = &keyState;
        CHECK_GL();
        if (!scene->opensWithSplats()) compositeSplatLayer();
        scene->applyState();
        CHECK_GL();
        scene->resize(width, height);
        CHECK_GL();
        if (simulate) {
            scene->simulate();
            ++scene->simulations;
        }
        scene->draw();
        if (!scene->drewOnlySplats()) noteSplatFrameDrawn();
        CHECK_GL();
    }
    compositeSplatLayer();
    ShaderProgram::checkBoundUniforms();
    if (keyState.held[KeyState::kInfoOverlay]) drawOverlay();
    if (!faultNotes.empty()) drawFaultNotes();
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

void SceneManager::updateShaderInputs(float beat) {
    ShaderInputs& in = shaderInputs();
    in.active = true;
    in.beat = beat;
    // The music's position of the beat, without another query of the stream.
    in.seconds = float((double(beat) - music->beatOffset) * 60.0 / music->bpm);
    in.width = float(width);
    in.height = float(height);
    std::vector<NamedValue> values = syncValuesAt(music->midi, beat);
    in.values.resize(values.size());
    in.names.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        in.values[i].first = values[i].uniform;
        in.values[i].second = values[i].value;
        in.names[i] = values[i].name;
    }
}

// The whole window in pixels, origin at the lower left: what the overlays draw in.
void SceneManager::pixelProjection() {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void SceneManager::drawOverlay() {
    pixelProjection();

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

void SceneManager::drawFaultNotes() {
    pixelProjection();
    ShaderProgram::unbind();
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // A line is a fortieth of the height (18 pixels at 720), 12 pixels at the least: a
    // whole info log fits where the overlay's 48-point lines would not.
    const float line = std::max(12.0f, float(height) / 40.0f);
    const float band = line * (float(faultNotes.size()) + 0.5f);
    glColor4f(0.0f, 0.0f, 0.0f, 0.75f);
    glRectf(0.0f, float(height) - band, float(width), float(height));
    glColor4f(1.0f, 0.45f, 0.4f, 1.0f);
    const float scale = line / 56.0f;  // a 48-point line of the font is about 56 pixels
    for (size_t i = 0; i < faultNotes.size(); ++i) {
        glLoadIdentity();
        glTranslatef(line * 0.5f, float(height) - line * float(i + 1), 0.0f);
        glScalef(scale, scale, 1.0f);
        fontPrintf(font, "%s", faultNotes[i].c_str());
    }
    glPopAttrib();
}

void SceneManager::keyEvent(bool pressed, int keySymbol) { applyKeyEvent(&keyState, pressed, keySymbol); }
