// Virtual time for runs that must not depend on the wall clock: offline rendering, and
// the fast-forward that rebuilds the production's state at a moment.
#pragma once

#include <cstdint>

#include "platform/system.h"

namespace offline {

// Frames per second as an exact fraction (60000/1001 for NTSC's 59.94).
struct Rate {
    int64_t num = 60;
    int64_t den = 1;
    double value() const { return double(num) / double(den); }
};

// The music position of frame n: exactly n / rate seconds (frame 0 at music time 0).
inline double frameSeconds(const Rate& rate, int64_t frame) {
    return double(frame) * double(rate.den) / double(rate.num);
}

// The performance counter runs at `rate.num` ticks per second and reads
// `(frame - origin) * rate.den` ticks, so consecutive frames are exactly 1 / rate apart;
// the tick count is the seed. Before the first frame it reads -rate.den: one frame
// before the origin, whichever frame comes first.
class VirtualClock : public platform::ClockSource {
public:
    VirtualClock(const Rate& rate, uint32_t seed) : rate_(rate), seed_(seed) {}
    void setOrigin(int64_t frame) { origin_ = frame; }
    void setFrame(int64_t frame) { frame_ = frame; }
    int64_t frequency() override { return rate_.num; }
    int64_t counter() override { return (frame_ - origin_) * rate_.den; }
    uint32_t ticks() override { return seed_; }
    const Rate& rate() const { return rate_; }

private:
    Rate rate_;
    uint32_t seed_;
    int64_t origin_ = 0;
    int64_t frame_ = -1;
};

}  // namespace offline
