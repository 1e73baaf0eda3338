#include "main/dev_mode.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "platform/audio/bass.h"
#include "platform/system.h"
#include "scenes/replay.h"
#include "scenes/scene/shaderset.h"
#include "scenes/scene/sprites.h"
#include "scenes/scenemanager.h"
#include "util/music/music.h"
#include "util/util/profile.h"
#include "util/util/reloadable.h"
#include "util/util/util.h"
#include "util/util/virtual_clock.h"

namespace {

// A seek shows what a run at this rate shows at the beat.
const offline::Rate kAudienceRate{60, 1};
constexpr int kOutputRate = 44100;  // sample frames per second of the stream

// The stream position of a frame at the audience's rate, as the offline clock puts it.
QWORD frameBytes(int64_t frame) {
    double seconds = offline::frameSeconds(kAudienceRate, frame);
    return QWORD(std::floor(seconds * kOutputRate + 1e-6)) * 4;
}

bool endsWith(const std::string& text, const char* tail) {
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

int64_t nowMs() { return profile::nowNs() / 1000000; }

// Whether `path` lies in the folder of `file` (both relative to the run folder).
bool inFolderOf(const std::string& path, const char* file) {
    if (!file) return false;
    const char* slash = strrchr(file, '/');
    if (!slash) return false;
    std::string folder(file, size_t(slash - file) + 1);
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path.find('/', folder.size()) == std::string::npos;
}

}  // namespace

AssetKind assetKindOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name[0] == '.' || endsWith(name, "~") || endsWith(name, ".swp")) return AssetKind::None;
    // By the folder's own name, so a production's tree beside data/common (its
    // shaders/ folder) is read the same way.
    std::string last = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
    if (last == "shaders") return AssetKind::Shader;
    if (last == "music") return AssetKind::Sync;
    if (last == "images" || last == "fonts") return AssetKind::ImageOrFont;
    return AssetKind::None;
}

std::vector<std::string> productionFolders(const SceneManager& manager) {
    std::vector<std::string> folders;
    auto add = [&](const std::string& path) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return;  // a bare name: the shared shader folder
        std::string folder = path.substr(0, slash);
        if (folder == "data/common/shaders" || folder == "data/common/music") return;
        for (const std::string& f : folders)
            if (f == folder) return;
        folders.push_back(folder);
    };
    if (manager.production && manager.production->syncPath) add(manager.production->syncPath);
    for (const auto& files : manager.shaders->sceneFiles()) {
        add(files.first);
        add(files.second);
    }
    return folders;
}

bool devModeRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--dev") == 0) return true;
    return false;
}

DevCommand devCommandForKey(SDLKey key, float beat, float beatsPerBar, const ProductionInfo& production) {
    DevCommand c;
    switch (key) {
        case SDLK_SPACE: c.kind = DevCommand::TogglePause; break;
        case SDLK_LEFT: c = {DevCommand::Seek, beat - beatsPerBar}; break;
        case SDLK_RIGHT: c = {DevCommand::Seek, beat + beatsPerBar}; break;
        case SDLK_PAGEUP: c = {DevCommand::Seek, beat - 16.0f}; break;
        case SDLK_PAGEDOWN: c = {DevCommand::Seek, beat + 16.0f}; break;
        case SDLK_HOME: c = {DevCommand::Seek, 0.0f}; break;
        case SDLK_l: c.kind = DevCommand::ToggleLoop; break;
        case SDLK_r: c.kind = DevCommand::Reload; break;
        default:
            if (key >= SDLK_1 && key <= SDLK_9) {
                size_t section = size_t(key - SDLK_1);
                if (section < production.sections.size()) c = {DevCommand::Seek, production.sections[section].startBeat};
            }
            break;
    }
    return c;
}

void loopRangeAt(float beat, float beatsPerBar, float* from, float* to) {
    const float loopBeats = kLoopBars * beatsPerBar;
    float first = std::floor((beat > 0.0f ? beat : 0.0f) / loopBeats) * loopBeats;
    *from = first;
    *to = first + loopBeats;
}

std::vector<std::string> devOverlayNotes(const ProductionInfo& production, float beat, float beatsPerBar,
                                         bool paused, bool looping, float loopFrom, float loopTo,
                                         const std::vector<NamedValue>& values) {
    char line[160];
    std::vector<std::string> notes;
    snprintf(line, sizeof line, "bar: %i", int(std::floor(beat / beatsPerBar)) + 1);
    notes.push_back(line);
    if (!production.sections.empty()) {
        int section = sectionIndexAt(production, beat);
        snprintf(line, sizeof line, "section: %i %s", section + 1, production.sections[size_t(section)].name);
        notes.push_back(line);
    }
    notes.push_back(paused ? "paused" : "playing");
    if (looping) {
        snprintf(line, sizeof line, "loop: %.0f-%.0f", loopFrom, loopTo);
        notes.push_back(line);
    } else {
        notes.push_back("loop: off");
    }
    for (const NamedValue& v : values) {
        snprintf(line, sizeof line, "%s: %.2f", v.name.c_str(), double(v.value));
        notes.push_back(line);
    }
    return notes;
}

std::vector<std::string> devFaultNotes(const std::vector<ShaderFault>& faults) {
    std::vector<std::string> notes;
    for (const ShaderFault& fault : faults) {
        notes.push_back("Shader " + fault.pair + ": " + fault.reason +
                        (fault.standIn ? " (drawing nothing)" : " (drawing its previous build)"));
        size_t shown = 0, more = 0;
        size_t start = 0;
        while (start < fault.log.size()) {
            size_t end = fault.log.find('\n', start);
            if (end == std::string::npos) end = fault.log.size();
            std::string line = fault.log.substr(start, end - start);
            start = end + 1;
            for (char& c : line)
                if (c == '\t' || c == '\r') c = ' ';
            if (line.find_first_not_of(' ') == std::string::npos) continue;
            if (shown == kFaultLogLines) {
                ++more;
                continue;
            }
            notes.push_back("  " + line);
            ++shown;
        }
        if (more > 0) notes.push_back("  (" + std::to_string(more) + " more lines in the log)");
    }
    return notes;
}

DevMode::DevMode(SceneManager* manager) : manager_(manager) {
    manager_->endsWithMusic = false;
    watch_.add("data/common/shaders");
    watch_.add("data/common/music");
    watch_.add("data/common/images");
    watch_.add("data/common/fonts");
    for (const std::string& folder : productionFolders(*manager_)) watch_.add(folder.c_str());
    keepStates();
}

bool DevMode::atEnd() const {
    Music* music = manager_->music;
    if (music->lengthBytes == ~uint64_t(0)) return BASS_ChannelIsActive(music->stream) == BASS_ACTIVE_STOPPED;
    return BASS_ChannelGetPosition(music->stream, BASS_POS_BYTE) >= music->lengthBytes;
}

bool DevMode::playing() const {
    return BASS_ChannelIsActive(manager_->music->stream) == BASS_ACTIVE_PLAYING;
}

void DevMode::setPaused(bool paused) {
    paused_ = paused;
    // A paused frame is drawn as it stands: the particles wait for the music.
    manager_->simulating = !paused;
}

bool DevMode::keyEvent(bool pressed, SDLKey key) {
    Music* music = manager_->music;
    DevCommand command = devCommandForKey(key, music->beat(), beatsPerBar(music->midi), *manager_->production);
    if (command.kind == DevCommand::None) return false;
    if (!pressed) return true;
    switch (command.kind) {
        case DevCommand::TogglePause: togglePause(); break;
        case DevCommand::Seek: seek(command.beat); break;
        case DevCommand::ToggleLoop: toggleLoop(); break;
        case DevCommand::Reload: reload(); break;
        case DevCommand::None: break;
    }
    return true;
}

void DevMode::togglePause() {
    Music* music = manager_->music;
    if (!paused_) {
        BASS_ChannelPause(music->stream);
        setPaused(true);
        logLine("[dev] paused at beat %.2f\n", music->beat());
        return;
    }
    // Paused at the end: playing again starts over. (A stream made by a reload while
    // paused has never played, but it is at the kept position, not at its end.)
    if (atEnd()) seek(0.0f, false);
    BASS_ChannelPlay(music->stream, FALSE);
    setPaused(false);
    logLine("[dev] resumed at beat %.2f\n", music->beat());
}

void DevMode::replay(int64_t frames, bool keep) {
    Music* music = manager_->music;
    FrameTimerState realTimer = frameTimerState();
    offline::VirtualClock clock(kAudienceRate, manager_->seed);
    platform::setClockSource(&clock);
    auto positionMusic = [music](int64_t n) {
        BASS_ChannelSetPosition(music->stream, frameBytes(n), BASS_POS_BYTE);
    };
    if (keep) {
        cache_.build(manager_, &clock, frames, positionMusic);
    } else {
        cache_.replayTo(manager_, &clock, frames, positionMusic);
    }
    FrameTimerState replayed = frameTimerState();
    platform::setClockSource(nullptr);
    // The real clock again, with the frame times of the replay: the next frame moves the
    // stars as the audience's would.
    for (int i = 0; i < 5; ++i) realTimer.slots[i] = replayed.slots[i];
    realTimer.slotIndex = replayed.slotIndex;
    realTimer.frameTime = replayed.frameTime;
    setFrameTimerState(realTimer);
    restartFrameDelta();
}

void DevMode::keepStates() {
    Music* music = manager_->music;
    const bool wasPlaying = playing();
    if (wasPlaying) BASS_ChannelPause(music->stream);
    QWORD position = BASS_ChannelGetPosition(music->stream, BASS_POS_BYTE);
    // The run goes on afterwards exactly where it was.
    SimulationState live = captureSimulation(manager_, 0, nullptr);
    double seconds = BASS_ChannelBytes2Seconds(music->stream, music->lengthBytes);
    int64_t frames = seconds > 0.0 ? int64_t(std::ceil(seconds * double(kAudienceRate.num) / double(kAudienceRate.den))) : 0;
    int64_t started = profile::nowNs();
    replay(frames, true);
    double took = double(profile::nowNs() - started) * 1e-9;
    restoreSimulation(manager_, live);
    restartFrameDelta();
    BASS_ChannelSetPosition(music->stream, position, BASS_POS_BYTE);
    if (wasPlaying && !paused_) BASS_ChannelPlay(music->stream, FALSE);
    logLine("[dev] kept %i states of the simulation for seeks, one every %.1f s (%.0f MiB), in %.2f s\n",
            int(cache_.count()), double(cache_.interval()) * double(kAudienceRate.den) / double(kAudienceRate.num),
            double(cache_.bytes()) / (1024.0 * 1024.0), took);
}

void DevMode::seek(float target, bool announce) {
    Music* music = manager_->music;
    const bool wasPlaying = playing();
    if (wasPlaying) BASS_ChannelPause(music->stream);
    float end = music->endBeat();
    if (target > end) target = end;
    if (target < 0.0f) target = 0.0f;
    double targetSeconds = (double(target) - music->beatOffset) * 60.0 / music->bpm;
    int64_t frames = int64_t(std::ceil(targetSeconds * double(kAudienceRate.num) / double(kAudienceRate.den) - 1e-6));
    if (frames < 0) frames = 0;

    // Frames [0, frames) as a run at 60 frames per second has them, on a virtual clock
    // and with the stream held at each frame's position.
    replay(frames, false);

    float at = music->seekBeat(target);
    if (wasPlaying && !paused_) BASS_ChannelPlay(music->stream, FALSE);
    if (announce) logLine("[dev] seek to beat %.2f\n", at);
}

void DevMode::toggleLoop() {
    if (looping_) {
        looping_ = false;
        logLine("[dev] loop off\n");
        return;
    }
    loopRangeAt(manager_->music->beat(), beatsPerBar(manager_->music->midi), &loopFrom_, &loopTo_);
    looping_ = true;
    logLine("[dev] loop beats %.2f to %.2f\n", loopFrom_, loopTo_);
}

void DevMode::reloadShaders() {
    std::vector<std::string> failed;
    int rebuilt = manager_->shaders->rebuildAll(&failed);
    // The fast particle path's program shares billboard.frag; it is not one of the set's.
    if (!rebuildSpriteProgram()) failed.push_back("sprite.vert + billboard.frag");
    for (const std::string& pair : failed)
        logLine("[dev] shader %s failed to build, keeping the previous program\n", pair.c_str());
    lastRebuilt_ = rebuilt;
}

bool DevMode::reloadSync() {
    Music* music = manager_->music;
    if (!music->reloadSync()) return false;
    // The beat where the music now is, under the new tempo; the scenes are rebuilt there
    // from states kept anew (the tempo and the modulators shape the simulation).
    float beat = music->beat();
    keepStates();
    seek(beat, false);
    return true;
}

void DevMode::reloadAsset(const std::string& path) {
    std::vector<std::string> failures;
    int done = reloadable::reload(path, &failures);
    for (const std::string& reason : failures)
        logLine("[dev] %s not reloaded, keeping the previous one: %s\n", path.c_str(), reason.c_str());
    if (done > 0) logLine("[dev] reloaded %s\n", path.c_str());
}

void DevMode::reload() {
    for (const std::string& path : reloadable::paths()) reloadAsset(path);
    reloadShaders();
    if (reloadSync())
        logLine("[dev] reloaded %i shader programs and the sync description\n", lastRebuilt_);
    else
        logLine("[dev] reloaded %i shader programs, kept the previous sync description\n", lastRebuilt_);
}

void DevMode::takeFileChanges() {
    settling_.note(watch_.changes(), nowMs());
    if (!settling_.pending()) return;
    bool shaders = false, sync = false;
    std::vector<std::string> assets;
    for (const std::string& path : settling_.take(nowMs())) {
        switch (assetKindOf(path)) {
            case AssetKind::Shader: shaders = true; break;
            case AssetKind::Sync: sync = true; break;
            case AssetKind::ImageOrFont:
                if (reloadable::watched(path)) assets.push_back(path);
                break;
            case AssetKind::None:
                // A production that keeps its description outside a music/ folder.
                if (inFolderOf(path, manager_->production ? manager_->production->syncPath : nullptr)) sync = true;
                break;
        }
    }
    if (shaders) {
        reloadShaders();
        logLine("[dev] reloaded %i shader programs\n", lastRebuilt_);
    }
    if (sync) {
        if (reloadSync())
            logLine("[dev] reloaded the sync description\n");
        else
            logLine("[dev] kept the previous sync description\n");
    }
    for (const std::string& path : assets) reloadAsset(path);
}

void DevMode::beforeFrame() {
    takeFileChanges();
    Music* music = manager_->music;
    if (!paused_) {
        bool stopped = BASS_ChannelIsActive(music->stream) != BASS_ACTIVE_PLAYING;
        if (looping_ && (stopped || music->beat() >= loopTo_)) {
            seek(loopFrom_, false);
            if (stopped) BASS_ChannelPlay(music->stream, FALSE);
        } else if (stopped) {
            // The end of the music: wait there for a seek instead of ending the run.
            setPaused(true);
            logLine("[dev] paused at beat %.2f\n", music->beat());
        }
    }
    float beat = music->beat();
    manager_->faultNotes = devFaultNotes(shaderFaults());
    manager_->overlayNotes = devOverlayNotes(*manager_->production, beat, beatsPerBar(music->midi), paused_,
                                             looping_, loopFrom_, loopTo_, syncValuesAt(music->midi, beat));
}
