// Low-frequency oscillator: a sine or a saw that runs while a note is held.
#pragma once

#include "util/music/modulators/modulator.h"

class LFO : public Modulator {
public:
    enum Wave : int32_t { Sine = 0, Saw = 1 };

    // The period is the note length numerator/denominator of a whole note, in beats
    // (two thirds of it for a triplet). Logs the new oscillator.
    LFO(int wave, int cc, int numerator, int denominator, bool triplet);

    // Sine: 0 when the note is struck, 1 after half a period, 0 after a whole one.
    // Saw: the time since the strike modulo the period (0 up to just below period).
    // 0 while no note is held, and for a period of 0 (nothing to oscillate over).
    float value(int32_t context, float now, float off, float on) const override;

    int32_t wave;
};
