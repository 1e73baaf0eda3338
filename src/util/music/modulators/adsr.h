// ADSR envelope: rises when a note is struck, decays to the sustain level while it is
// held and fades out after its release. Durations are in beats.
#pragma once

#include "util/music/modulators/modulator.h"

class ADSR : public Modulator {
public:
    enum Slope : int32_t { Linear = 0, Exp = 1, ExpInv = 2 };

    // sustain is a level (0 to 1). Logs the new envelope.
    ADSR(float attack, int attackSlope, float decay, int decaySlope, float sustain, float release,
         int releaseSlope);

    // A phase of length 0 is complete the instant it begins: an attack of 0 is at its
    // peak when the note is struck, a release of 0 is silent the instant it starts.
    float value(int32_t context, float now, float off, float on) const override;

    float attack;
    int32_t attackSlope;
    float decay;
    int32_t decaySlope;
    float sustain;
    float release;
    int32_t releaseSlope;
    float curveBase = 250.0f;  // base of the exponential curves

    // The curves of one slope code, x and y in 0..1: rise runs from 0 to 1, fall from 1 to 0.
    float rise(int slope, float y) const;
    float fall(int slope, float x) const;
};
