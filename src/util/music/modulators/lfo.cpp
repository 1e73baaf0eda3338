#include "util/music/modulators/lfo.h"

#include <cmath>

#include "log.h"

LFO::LFO(int wave_, int cc_, int numerator, int denominator, bool triplet)
    : Modulator(Oscillator), wave(wave_) {
    cc = cc_;
    period = noteLengthBeats(numerator, denominator, triplet);
    logLine("  ..added new LFO: wave %i, cc %i, period %.3f\n", wave, cc, double(period));
}

float LFO::value(int32_t, float now, float off, float on) const {
    if (on <= off) return 0.0f;
    if (wave != Sine && wave != Saw) FATAL("Unsupported wave type: %i", wave);
    // A zero period would divide by zero (and make every value NaN).
    if (period == 0.0f) return 0.0f;
    float elapsed = now - on;
    if (wave == Sine) return (sinf(elapsed * 6.2831855f / period - 1.5707964f) + 1.0f) * 0.5f;
    return fmodf(elapsed, period);
}
