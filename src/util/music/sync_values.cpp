#include "util/music/sync_values.h"

#include <algorithm>
#include <cmath>

#include "util/music/midi.h"
#include "util/music/modulators/modulator.h"

namespace {

// The entries of times at or before the beat: times alternate on (+t) and off (-t) with
// magnitudes that never decrease, so the count is found by bisection.
size_t eventsUpTo(const std::vector<float>& times, float beat) {
    return size_t(std::upper_bound(times.begin(), times.end(), beat,
                                   [](float b, float t) { return b < std::fabs(t); }) -
                  times.begin());
}

bool isOff(float time) { return std::signbit(time); }

}  // namespace

NoteActivity noteActivityAt(const MidiTrack& track, float beat) {
    bool held = false, released = false;
    float heldOn = 0.0f;                 // the latest strike among the held notes
    NoteActivity last;                   // the note released last
    for (const MidiNote& note : track.notes) {
        size_t count = eventsUpTo(note.times, beat);
        if (count == 0) continue;
        float time = note.times[count - 1];
        if (!isOff(time)) {
            if (!held || time > heldOn) heldOn = time;
            held = true;
        } else {
            float off = -time;
            if (!released || off > last.off) {
                last.off = off;
                // The note-on it ends; a note whose first event is an off was never held.
                last.on = count >= 2 ? note.times[count - 2] : off;
            }
            released = true;
        }
    }
    if (!held) return last;
    // Only on matters while a note is held; off just has to lie below it.
    NoteActivity activity;
    activity.on = heldOn;
    activity.off = std::nextafter(heldOn, -INFINITY);
    return activity;
}

float modulatorValueAt(const MidiTrack& track, const Modulator& modulator, float beat) {
    NoteActivity a = noteActivityAt(track, beat);
    return modulator.value(0, beat, a.off, a.on) * modulator.intensity;
}

const Modulator* findModulator(const MidiFile* midi, const char* name, const MidiTrack** track) {
    if (!midi || !name) return nullptr;
    for (const MidiTrack& t : midi->tracks) {
        for (const auto& m : t.modulators) {
            if (m->name == name) {
                if (track) *track = &t;
                return m.get();
            }
        }
    }
    return nullptr;
}

float syncValue(const MidiFile* midi, const char* name, float beat) {
    const MidiTrack* track = nullptr;
    const Modulator* modulator = findModulator(midi, name, &track);
    return modulator ? modulatorValueAt(*track, *modulator, beat) : 0.0f;
}

std::string uniformName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) c = '_';
    }
    return out;
}

std::vector<NamedValue> syncValuesAt(const MidiFile* midi, float beat) {
    std::vector<NamedValue> values;
    if (!midi) return values;
    for (const MidiTrack& track : midi->tracks) {
        for (const auto& m : track.modulators) {
            if (m->name.empty()) continue;
            bool seen = false;
            for (const NamedValue& v : values) seen = seen || v.name == m->name;
            if (!seen) values.push_back({m->name, uniformName(m->name), modulatorValueAt(track, *m, beat)});
        }
    }
    return values;
}

float beatsPerBar(const MidiFile* midi) {
    if (!midi || midi->timeSigNumerator == 0 || midi->timeSigDenominator == 0) return 4.0f;
    return float(midi->timeSigNumerator) * 4.0f / float(midi->timeSigDenominator);
}
