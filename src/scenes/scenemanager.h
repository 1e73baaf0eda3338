// The scene manager: owns the shared resources and the timeline of scenes, draws each
// frame's active scenes by beat, keeps the key state and ends the run with the music.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "scenes/production_info.h"

class Scene;
class Music;
class ShaderSet;
class Fbo;
class AsciiEngine;
class FTFont;

// Which keys are held (1) or not (0), by entry index.
struct KeyState {
    static constexpr int kCount = 72;
    static constexpr int kInfoOverlay = 51;  // the letter i
    unsigned char held[kCount];
};

// The KeyState entries an SDL 1.2 key symbol sets, written to entries (room for two).
// Returns how many: 0 for a key the table does not know, 2 for Alt and the digits 1 to 9.
int keyStateEntries(int keySymbol, int entries[2]);

// Keeps the key state for one key event. Escape, pressed or released, ends the process
// at once with status 0; an unknown key other than 0 is logged when pressed.
void applyKeyEvent(KeyState* state, bool pressed, int keySymbol);

// startBeat <= beat <= endBeat.
bool sceneActiveAt(float startBeat, float endBeat, float beat);

// Pushes one SDL_QUIT event when the stream is not playing (stopped, stalled or paused).
// Returns whether it pushed.
bool pushQuitUnlessPlaying(HSTREAM stream);

class SceneManager {
public:
    // Loads every shared resource and every scene of the production, then draws two
    // cleared frames. The default: the production this program is built with.
    SceneManager();
    explicit SceneManager(const ProductionInfo& production);
    ~SceneManager();

    void resize(int width, int height);
    // Starts the music and returns once its beat is 0 or more.
    void start();
    void frame();
    // The current state drawn again: the clear, every scene whose window holds the beat
    // (state, resize, draw; no simulation), the overlay and the swap. No frame timer step,
    // no music update: comparing two ways of drawing one frame leaves the run unchanged.
    void redrawFrame();
    void keyEvent(bool pressed, int keySymbol);

    // One frame without OpenGL: the frame timer, the music's update and the simulation
    // step of every scene whose window holds the beat, in list order. The same steps,
    // frame times and random draws as frame(), so a production advanced this way up to
    // a frame and then drawn matches one drawn from the start.
    void simulateFrame();
    // Every scene back to the state its init left; with the generator seeded again with
    // `seed`, frames replayed from beat 0 rebuild any moment.
    void restartScenes();

    // The random generator's seed, taken by start().
    uint32_t seed = 0;
    // Development mode only; the demo keeps the defaults. False: a stopped or paused
    // stream does not end the run. False: frames are drawn without advancing the scenes
    // (paused). Extra lines shown under the overlay's two.
    bool endsWithMusic = true;
    bool simulating = true;
    std::vector<std::string> overlayNotes;
    // Development mode only: lines drawn over every frame while there are any (the
    // shader faults), at the top, small, in red on a dark band.
    std::vector<std::string> faultNotes;

    std::vector<Scene*> scenes;
    const ProductionInfo* production = nullptr;

private:
    // The clear, the active scenes (simulated first when `simulate`), the overlay, the swap.
    void drawScenes(bool simulate);

public:
    KeyState keyState;
    FTFont* font = nullptr;
    int width = 0;
    int height = 0;
    Music* music = nullptr;
    ShaderSet* shaders = nullptr;
    Fbo* fbo = nullptr;
    AsciiEngine* ascii = nullptr;

private:
    void pixelProjection();
    void drawOverlay();
    void drawFaultNotes();
    // The uniforms every program that declares them receives (shader_inputs.h), at the
    // beat a scene is drawn at.
    void updateShaderInputs(float beat);
};
