// The music's waveform as one green line across the whole window.
#pragma once

#include "scenes/scene/scene.h"

class Oscilloscope : public Scene {
public:
    static constexpr int kSampleCount = 1024;  // floats, two channels interleaved

    bool init() override;
    void draw() override;
    // Full window, x 0 to 1024 and y -1 to 1.
    void resize(int width, int height) override;

    float samples[kSampleCount] = {};
};

// The line's height for one sample frame: both channels summed, scaled by 0.75.
inline float oscilloscopeY(const float* samples, int i) { return (samples[i] + samples[i + 1]) * 0.75f; }
