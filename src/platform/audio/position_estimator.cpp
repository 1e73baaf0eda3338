#include "platform/audio/position_estimator.h"

#include <algorithm>
#include <cmath>

namespace audio {

PositionEstimator::PositionEstimator(double framesPerSecond) : rate_(framesPerSecond) {}

void PositionEstimator::reset() {
    anchored_ = false;
    origin_ = 0.0;
    observations_ = 0;
    handed_ = 0;
    last_ = 0;
}

void PositionEstimator::onCallback(double now, int64_t heard, int64_t handed) {
    handed_ = std::max(handed_, handed);
    double sample = now - double(heard) / rate_;
    double error = sample - origin_;
    if (!anchored_ || std::fabs(error) > kResyncSeconds) {
        // First observation, or the device stalled: start a fresh average here.
        anchored_ = true;
        origin_ = sample;
        observations_ = 1;
        return;
    }
    ++observations_;
    // A plain mean over the first observations settles fast; afterwards an exponential
    // average follows slow drift between the device's clock and ours.
    double gain = std::max(1.0 / observations_, kMinGain);
    origin_ += gain * std::clamp(error, -kOutlierSeconds, kOutlierSeconds);
}

int64_t PositionEstimator::position(double now) {
    if (!anchored_) return last_;
    // The small bias keeps exact frame times from rounding down a frame.
    double frames = std::floor((now - origin_) * rate_ + 1e-6);
    int64_t estimate = frames < 0.0 ? 0 : int64_t(frames);
    estimate = std::min(estimate, handed_);
    last_ = std::max(estimate, last_);
    return last_;
}

}  // namespace audio
