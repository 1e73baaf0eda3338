// Any moment of the production rebuilt: the scenes back to their init state and the
// frames before the moment simulated again, as a run at the clock's rate had them.
#pragma once

#include <cstdint>
#include <functional>

#include "util/util/virtual_clock.h"

class SceneManager;

// Every scene restarted, the generator seeded again with the run's seed, the frame timer
// new on `clock` (which the caller has made the clock source) and the beat clock new;
// then frames [0, frames) simulated without drawing, the music put at each frame's
// position by positionMusic first. The next frame drawn is frame `frames`.
void replayFromStart(SceneManager* manager, offline::VirtualClock* clock, int64_t frames,
                     const std::function<void(int64_t frame)>& positionMusic);
