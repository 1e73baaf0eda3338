#include "scenes/replay.h"


#include "scenes/scenemanager.h"
#include "util/music/music.h"
#include "util/util/random.h"
#include "util/util/util.h"

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
    for (int64_t n = 0; n < frames; ++n) {
        clock->setFrame(n);
        positionMusic(n);
        manager->simulateFrame();
    }
}
