#include "util/music/modulators/modulator.h"

float Modulator::value(int32_t, float, float, float) const { return 1.0f; }

float noteLengthBeats(int numerator, int denominator, bool triplet) {
    if (denominator == 0) return 0.0f;
    float beats = float(numerator * 4.0 / denominator);
    if (triplet) beats *= 0.6666667f;
    return beats;
}
