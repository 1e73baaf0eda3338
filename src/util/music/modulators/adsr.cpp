#include "util/music/modulators/adsr.h"

#include <cmath>

#include "log.h"

namespace {

// The part of a phase of length `length` that lies behind `elapsed`. A phase of length
// 0 (or less) is complete as soon as it begins, so it never divides by zero.
float phaseFraction(float elapsed, float length) {
    if (length <= 0.0f) return 1.0f;
    return elapsed / length;
}

}  // namespace

ADSR::ADSR(float attack_, int attackSlope_, float decay_, int decaySlope_, float sustain_,
           float release_, int releaseSlope_)
    : Modulator(Envelope),
      attack(attack_),
      attackSlope(attackSlope_),
      decay(decay_),
      decaySlope(decaySlope_),
      sustain(sustain_),
      release(release_),
      releaseSlope(releaseSlope_) {
    logLine("  ..added ADSR envelope [%.2f (%i)] [%.2f (%i)] [%.2f] [%.2f (%i)]\n", double(attack),
            attackSlope, double(decay), decaySlope, double(sustain), double(release), releaseSlope);
}

float ADSR::rise(int slope, float y) const {
    auto expCurve = [this](float x) { return (powf(curveBase, x) - 1.0f) / (curveBase - 1.0f); };
    switch (slope) {
        case Linear: return y;
        case Exp: return expCurve(y);
        case ExpInv: return 1.0f - expCurve(1.0f - y);
    }
    FATAL("Unsupported slope type: %i", slope);
}

float ADSR::fall(int slope, float x) const {
    auto expCurve = [this](float v) { return (powf(curveBase, v) - 1.0f) / (curveBase - 1.0f); };
    switch (slope) {
        case Linear: return 1.0f - x;
        case Exp: return expCurve(1.0f - x);
        case ExpInv: return 1.0f - expCurve(x);
    }
    FATAL("Unsupported slope type: %i", slope);
}

float ADSR::value(int32_t, float now, float off, float on) const {
    const float a = attack, d = decay, s = sustain, r = release;
    if (on > off) {
        float held = now - on;
        if (held > a + d) return s;
        if (held > a) return s + fall(decaySlope, phaseFraction(held - a, d)) * (1.0f - s);
        return rise(attackSlope, phaseFraction(held, a));
    }
    float held = off - on;
    float level;
    if (held < a)
        level = rise(attackSlope, phaseFraction(held, a));
    else if (held < a + d)
        level = s + fall(decaySlope, phaseFraction(held - a, d)) * (1.0f - s);
    else
        level = s;
    float released = now - off;
    if (released > r) return 0.0f;
    return level * fall(releaseSlope, phaseFraction(released, r));
}
