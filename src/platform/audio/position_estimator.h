// What the listener hears now, from observations of the output and a monotonic clock.
//
// A device asks for more frames when it is running low; at that moment the frames heard
// are the frames handed to it so far minus those still queued in it. A sound server
// reports which frame leaves its sink at a time stamp. Such observations come every 10
// to 100 ms and each one is late or early by the scheduler's jitter (a callback) or by
// a sink block (a report taken across one). The
// estimator keeps one straight line "frame = (t - origin) * rate" whose origin is a running
// average of the observations, so that a query between callbacks interpolates smoothly.
// Queries never go backwards and never pass the frames handed to the device.
//
// Pure: no device, no clock; times are seconds on any monotonic clock, positions frames.
#pragma once

#include <cstdint>

namespace audio {

class PositionEstimator {
public:
    explicit PositionEstimator(double framesPerSecond = 44100.0);

    // Forgets every observation: the device has not started (or restarted) and nothing
    // has been heard yet. Queries answer 0 until the next observation.
    void reset();

    // An observation at `now`: `heard` frames (negative while the first frames are still
    // queued) and `handed` frames given to the device so far.
    void onCallback(double now, int64_t heard, int64_t handed);

    // Frames heard at `now`: at least the previous answer, at most `handed`.
    int64_t position(double now);

    // The device has been given everything and it has all been heard (or the stream was
    // stopped): queries return `handed` from now on.
    bool drained(double now) { return position(now) >= handed_; }

    int64_t handed() const { return handed_; }
    int observations() const { return observations_; }

    // Observations off the line by more than this (seconds) mean the device stalled or
    // skipped: the line is re-anchored on the new observation instead of averaged.
    static constexpr double kResyncSeconds = 0.030;
    // Smallest averaging gain: the time constant is 1/kMinGain callbacks.
    static constexpr double kMinGain = 1.0 / 16.0;
    // Single observations count at most this far (seconds) toward the average, so one
    // badly late callback moves the line by kMinGain * kOutlierSeconds at most.
    static constexpr double kOutlierSeconds = 0.004;

private:
    double rate_;
    bool anchored_ = false;
    double origin_ = 0.0;  // time at which frame 0 was heard
    int observations_ = 0;
    int64_t handed_ = 0;
    int64_t last_ = 0;
};

}  // namespace audio
