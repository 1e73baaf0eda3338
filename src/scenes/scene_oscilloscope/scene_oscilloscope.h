// The music's waveform as one line (the greeting's green) across the whole window.
#pragma once

#include "scenes/scene/colour.h"
#include "scenes/scene/scene.h"

// What a production sets of its waveform; the defaults are the greeting's.
struct OscilloscopeParams {
    Rgb colour = {0.0f, 1.0f, 0.0f};
    float lineWidth = 2.5f;  // pixels
};

class Oscilloscope : public Scene {
public:
    static constexpr int kSampleCount = 1024;  // floats, two channels interleaved

    explicit Oscilloscope(const OscilloscopeParams& params = {}) : params_(params) {}

    bool init() override;
    void draw() override;
    // Full window, x 0 to 1024 and y -1 to 1.
    void resize(int width, int height) override;

    const OscilloscopeParams& params() const { return params_; }

    float samples[kSampleCount] = {};

private:
    OscilloscopeParams params_;
};

// The line's height for one sample frame: both channels summed, scaled by 0.75.
inline float oscilloscopeY(const float* samples, int i) { return (samples[i] + samples[i + 1]) * 0.75f; }
