#include "scenes/replay.h"

#include <cstring>
#include <set>

#include "scenes/scene/scene.h"
#include "scenes/scenemanager.h"

namespace {

// The clock at frame n, the music at its position, one frame simulated.
void simulateFrameAt(SceneManager* manager, offline::VirtualClock* clock, int64_t n,
                     const std::function<void(int64_t frame)>& positionMusic) {
    clock->setFrame(n);
    positionMusic(n);
    manager->simulateFrame();
}

}  // namespace

void replayFromStart(SceneManager* manager, offline::VirtualClock* clock, int64_t frames,
                     const std::function<void(int64_t frame)>& positionMusic) {
    manager->restartScenes();
    seedRandom(manager->seed);
    // As at the manager's construction: the timer starts one frame before frame 0.
    clock->setOrigin(0);
    clock->setFrame(-1);
    resetFrameTimer();
    setFrameTimerConstants(float(1.0 / double(clock->rate().num)), clock->counter());
    beatWrapState() = BeatWrapState{0.0f, 0.0f};
    // As play() leaves them.
    Music* music = manager->music;
    for (int i = 0; i < 10; ++i) {
        music->beatHistory[i] = music->beatOffset;
        music->positionHistory[i] = 0;
    }
    music->beatAdvance = 0.0f;
    music->bytesAdvance = 0;
    for (int64_t n = 0; n < frames; ++n) simulateFrameAt(manager, clock, n, positionMusic);
}

SimulationState captureSimulation(SceneManager* manager, int64_t frame, const SimulationState* previous) {
    SimulationState state;
    state.frame = frame;
    for (size_t i = 0; i < manager->scenes.size(); ++i) {
        const Scene* scene = manager->scenes[i];
        state.simulations.push_back(scene->simulations);
        if (previous && i < previous->scenes.size() && previous->simulations[i] == scene->simulations) {
            state.scenes.push_back(previous->scenes[i]);
            continue;
        }
        auto bytes = std::make_shared<std::vector<unsigned char>>();
        scene->saveState(bytes.get());
        state.scenes.push_back(std::move(bytes));
    }
    state.random = g_randomState;
    state.timer = frameTimerState();
    state.wrap = beatWrapState();
    const Music* music = manager->music;
    memcpy(state.beatHistory, music->beatHistory, sizeof state.beatHistory);
    memcpy(state.positionHistory, music->positionHistory, sizeof state.positionHistory);
    state.beatAdvance = music->beatAdvance;
    state.bytesAdvance = music->bytesAdvance;
    return state;
}

void restoreSimulation(SceneManager* manager, const SimulationState& state) {
    for (size_t i = 0; i < manager->scenes.size() && i < state.scenes.size(); ++i) {
        Scene* scene = manager->scenes[i];
        scene->loadState(*state.scenes[i]);
        scene->simulations = state.simulations[i];
    }
    g_randomState = state.random;
    setFrameTimerState(state.timer);
    beatWrapState() = state.wrap;
    Music* music = manager->music;
    memcpy(music->beatHistory, state.beatHistory, sizeof state.beatHistory);
    memcpy(music->positionHistory, state.positionHistory, sizeof state.positionHistory);
    music->beatAdvance = state.beatAdvance;
    music->bytesAdvance = state.bytesAdvance;
}

ReplayCache::ReplayCache(int64_t interval) : interval_(interval < 1 ? 1 : interval) {}

void ReplayCache::build(SceneManager* manager, offline::VirtualClock* clock, int64_t frames,
                        const std::function<void(int64_t frame)>& positionMusic) {
    states_.clear();
    replayFromStart(manager, clock, 0, positionMusic);
    for (int64_t n = 0;; ++n) {
        if (n % interval_ == 0) {
            states_.push_back(captureSimulation(manager, n, states_.empty() ? nullptr : &states_.back()));
        }
        if (n >= frames) break;
        simulateFrameAt(manager, clock, n, positionMusic);
    }
}

void ReplayCache::replayTo(SceneManager* manager, offline::VirtualClock* clock, int64_t frame,
                           const std::function<void(int64_t frame)>& positionMusic) {
    if (states_.empty() || frame < 0) {
        replayFromStart(manager, clock, frame, positionMusic);
        return;
    }
    size_t index = size_t(frame / interval_);
    if (index >= states_.size()) index = states_.size() - 1;
    const SimulationState& state = states_[index];
    clock->setOrigin(0);
    clock->setFrame(state.frame - 1);
    restoreSimulation(manager, state);
    for (int64_t n = state.frame; n < frame; ++n) simulateFrameAt(manager, clock, n, positionMusic);
}

size_t ReplayCache::bytes() const {
    std::set<const void*> seen;
    size_t total = 0;
    for (const SimulationState& state : states_)
        for (const auto& block : state.scenes)
            if (seen.insert(block.get()).second) total += block->size();
    return total;
}
