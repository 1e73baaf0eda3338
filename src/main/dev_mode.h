// Development mode (festoonery --dev), for the people who make productions on this
// engine: no setup dialog, assets from the loose tree, and keys that pause, seek, loop
// and reload. A seek rebuilds the particle scenes as a replay of the production from
// beat 0 at 60 frames per second without drawing has them, so what shows after it is
// what the audience sees at that beat; states kept every kStateIntervalFrames of one
// such replay make every seek short.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/watch/file_watch.h"
#include "platform/watch/settled_changes.h"
#include "scenes/replay.h"
#include "scenes/production_info.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shaderprogram.h"

class SceneManager;

// Whether the arguments ask for development mode ("--dev" anywhere).
bool devModeRequested(int argc, char** argv);

// A loop is this many bars.
constexpr int kLoopBars = 8;
// The kept states' interval at the audience's 60 frames per second.
constexpr int64_t kStateIntervalFrames = int64_t(kStateIntervalSeconds * 60.0);

// What a changed file under data/common/ asks to reload.
enum class AssetKind { None, Shader, Sync, ImageOrFont };
// Pure: by folder; editor leftovers (hidden files, "~" backups, ".swp") are None.
AssetKind assetKindOf(const std::string& path);

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

// The lines drawn over every frame while shaders fail (SceneManager::faultNotes): per
// fault "Shader PAIR: REASON" with what is drawn meanwhile, then the driver's log lines
// that hold more than blanks, indented, tabs as blanks, the first kFaultLogLines of them
// and a line that counts the rest.
constexpr size_t kFaultLogLines = 8;
std::vector<std::string> devFaultNotes(const std::vector<ShaderFault>& faults);

// The folders of the production's own files besides data/common/shaders and
// data/common/music: its sync description's and those of its scenes' own programs.
std::vector<std::string> productionFolders(const SceneManager& manager);

class DevMode {
public:
    // Watches data/common/shaders/, music/, images/ and fonts/, takes over the end of the
    // music (the run pauses there instead of ending) and keeps the seek's states.
    explicit DevMode(SceneManager* manager);

    // A key event; true when development mode used it (it then goes nowhere else).
    bool keyEvent(bool pressed, SDLKey key);
    // Before each frame: file changes, the loop's wrap, the end of the music.
    void beforeFrame();

    void togglePause();
    // To a beat (clamped to the music), the scenes as a replay from beat 0 at 60 frames
    // per second has them there; logs the line when `announce`.
    void seek(float beat, bool announce = true);
    void toggleLoop();
    // Every shader program (the shared set and the scenes' own), the sync description,
    // the images and the fonts, again from disk. A reload never ends the run: what
    // fails keeps its previous state, logged.
    void reload();
    void reloadShaders();
    // True when the description was taken; the position and the paused state stay, and
    // the kept states are made again for the new tempo and modulators.
    bool reloadSync();
    // One image or font file, in every owner that loaded it.
    void reloadAsset(const std::string& path);
    // One replay of the whole production, keeping its states (a second or two); the
    // run then goes on where it was.
    void keepStates();

    const ReplayCache& states() const { return cache_; }

    bool paused() const { return paused_; }
    bool looping() const { return looping_; }

private:
    bool playing() const;
    bool atEnd() const;
    // Files that changed and are complete, each reloaded by its kind.
    void takeFileChanges();
    void setPaused(bool paused);
    // On the audience's clock: frames [0, frames) replayed (through the kept states), or
    // with `keep` the whole production replayed and its states kept; then the real clock
    // again with the replay's frame times.
    void replay(int64_t frames, bool keep);

    SceneManager* manager_;
    platform::FileWatch watch_;
    platform::SettledChanges settling_;
    ReplayCache cache_{kStateIntervalFrames};
    int lastRebuilt_ = 0;  // shader programs the last reloadShaders built
    bool paused_ = false;
    bool looping_ = false;
    float loopFrom_ = 0.0f;
    float loopTo_ = 0.0f;
};
