// Any moment of the production rebuilt: the scenes back to their init state and the
// frames before the moment simulated again, as a run at the clock's rate had them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "util/music/music.h"
#include "util/util/random.h"
#include "util/util/util.h"
#include "util/util/virtual_clock.h"

class SceneManager;

// Every scene restarted, the generator seeded again with the run's seed, the frame timer
// new on `clock` (which the caller has made the clock source), the beat clock and the
// music's update history new; then frames [0, frames) simulated without drawing, the
// music put at each frame's position by positionMusic first. The next frame drawn is
// frame `frames`.
void replayFromStart(SceneManager* manager, offline::VirtualClock* clock, int64_t frames,
                     const std::function<void(int64_t frame)>& positionMusic);

// Everything a replay carries from one frame to the next: each scene's simulated state,
// the generator, the frame timer, the beat clock's wrap state and the music's update
// history. Restored, the frames after it simulate exactly as they did.
struct SimulationState {
    int64_t frame = 0;  // the next frame to simulate
    // One per scene, in list order; shared with the state before while the scene did not
    // simulate in between (the particle scenes wait until beat 52).
    std::vector<std::shared_ptr<const std::vector<unsigned char>>> scenes;
    std::vector<uint64_t> simulations;
    RandomState random;
    FrameTimerState timer;
    BeatWrapState wrap;
    float beatHistory[10];
    int32_t positionHistory[10];
    float beatAdvance;
    int32_t bytesAdvance;
};

// The manager's simulation now, as the state before frame `frame`. previous (or null):
// the state kept before this one, whose scene bytes are shared where nothing changed.
SimulationState captureSimulation(SceneManager* manager, int64_t frame, const SimulationState* previous);
// Puts a captured state back; the caller's clock is to be set to its frame.
void restoreSimulation(SceneManager* manager, const SimulationState& state);

// How far apart the states kept for seeks are, in seconds of the production: a seek
// simulates at most this long after restoring one.
constexpr double kStateIntervalSeconds = 1.5;

// States kept at regular intervals of one replay of the whole production, so that any
// moment is rebuilt from the nearest one before it: a seek costs at most one interval
// of simulation instead of everything from beat 0.
class ReplayCache {
public:
    // A state every `interval` frames (at least 1).
    explicit ReplayCache(int64_t interval);

    // Replays frames [0, frames) from the start as replayFromStart does and keeps the
    // states before frames 0, interval, 2 interval, ... up to frames. The run is left at
    // frame `frames`.
    void build(SceneManager* manager, offline::VirtualClock* clock, int64_t frames,
               const std::function<void(int64_t frame)>& positionMusic);
    // The run at frame `frame` exactly as replayFromStart(frame) leaves it: the nearest
    // kept state at or before it restored, then the frames up to it simulated. Without
    // kept states (none built, or cleared) it is replayFromStart.
    void replayTo(SceneManager* manager, offline::VirtualClock* clock, int64_t frame,
                  const std::function<void(int64_t frame)>& positionMusic);
    // Forgets every state (the tempo, the music or the scenes changed).
    void clear() { states_.clear(); }

    bool empty() const { return states_.empty(); }
    size_t count() const { return states_.size(); }
    int64_t interval() const { return interval_; }
    // Bytes of scene state held, each shared block counted once.
    size_t bytes() const;

private:
    int64_t interval_;
    std::vector<SimulationState> states_;  // states_[i].frame == i * interval_
};
