// Development mode (festoonery --dev), for the people who make productions on this
// engine: no setup dialog, assets from the loose tree, and keys that pause, seek, loop
// and reload. A seek rebuilds the particle scenes by replaying the production from beat
// 0 at 60 frames per second without drawing, so what shows after it is what the
// audience sees at that beat.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/watch/file_watch.h"
#include "scenes/production_info.h"
#include "util/music/sync_values.h"

class SceneManager;

// Whether the arguments ask for development mode ("--dev" anywhere).
bool devModeRequested(int argc, char** argv);

// A loop is this many bars.
constexpr int kLoopBars = 8;

// What a key asks of development mode.
struct DevCommand {
    enum Kind { None, TogglePause, Seek, ToggleLoop, Reload } kind = None;
    float beat = 0.0f;  // Seek: the target, not yet clamped to the music
};
// Pure: Space pauses, Left/Right one bar (beatsPerBar beats), Page Up/Down 16 beats,
// Home beat 0, 1 to 9 the starts of the production's sections (a digit past its last
// section is not development mode's), L loop, R reload. Other keys: None.
DevCommand devCommandForKey(SDLKey key, float beat, float beatsPerBar, const ProductionInfo& production);

// The 8-bar range holding beat: [first, first + 8 bars) with first a multiple of 8 bars.
void loopRangeAt(float beat, float beatsPerBar, float* from, float* to);
// The overlay's extra lines: bar, section, paused and loop state, then each named
// modulator's value ("kick glow: 0.52").
std::vector<std::string> devOverlayNotes(const ProductionInfo& production, float beat, float beatsPerBar,
                                         bool paused, bool looping, float loopFrom, float loopTo,
                                         const std::vector<NamedValue>& values);

// The folders of the production's own files besides data/common/shaders and
// data/common/music: its sync description's and those of its scenes' own programs.
std::vector<std::string> productionFolders(const SceneManager& manager);

class DevMode {
public:
    // Watches data/common/shaders/ and data/common/music/ and takes over the end of the
    // music: the run pauses there instead of ending.
    explicit DevMode(SceneManager* manager);

    // A key event; true when development mode used it (it then goes nowhere else).
    bool keyEvent(bool pressed, SDLKey key);
    // Before each frame: file changes, the loop's wrap, the end of the music.
    void beforeFrame();

    void togglePause();
    // To a beat (clamped to the music), replaying the scenes from beat 0 at 60 frames
    // per second; logs the line when `announce`.
    void seek(float beat, bool announce = true);
    void toggleLoop();
    // Every shader program (the shared set and the scenes' own) and the sync
    // description, again from disk.
    void reload();

    bool paused() const { return paused_; }
    bool looping() const { return looping_; }

private:
    bool playing() const;
    void setPaused(bool paused);

    SceneManager* manager_;
    platform::FileWatch watch_;
    bool paused_ = false;
    bool looping_ = false;
    float loopFrom_ = 0.0f;
    float loopTo_ = 0.0f;
};
