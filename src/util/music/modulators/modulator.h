// Modulators turn the note activity of one MIDI track into a control value over time.
// Every time is in beats (quarter notes), the unit of Music::beat and of the MIDI note
// times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Modulator {
public:
    enum Kind : int32_t { Envelope = 0, Oscillator = 1 };

    virtual ~Modulator() = default;

    // now, off, on: the current beat and the beats of the track's most recent note-off
    // and note-on; on > off means a note is held since on. context is not read by any
    // modulator. The base returns 1.
    virtual float value(int32_t context, float now, float off, float on) const;

    int32_t cc = -1;  // controller number followed; -1 = none (envelopes keep -1)
    int32_t kind;
    float intensity = 1.0f;
    float period = 0.0f;  // oscillator period in beats (set by LFO only)
    // Controller template, one entry per range: period rangePeriod[i] (beats) for
    // controller values rangeMin[i]..rangeMax[i].
    std::vector<uint8_t> rangeMin;
    std::vector<uint8_t> rangeMax;
    std::vector<float> rangePeriod;
    // The description's name attribute ("pad wobble"); empty when it gave none. Values
    // are looked up by it (util/music/sync_values.h).
    std::string name;

protected:
    explicit Modulator(int32_t kind_) : kind(kind_) {}
};

// A note length numerator/denominator of a whole note in beats: 1/4 is one beat, a
// triplet two thirds of that. A denominator of 0 gives 0.
float noteLengthBeats(int numerator, int denominator, bool triplet);
