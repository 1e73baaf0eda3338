#include "util/music/sync_values.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

#include "log.h"
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
    if (modulator) return modulatorValueAt(*track, *modulator, beat);
    if (name) {
        // Scenes ask every frame, possibly from the workers: one line per name, ever.
        static std::mutex mutex;
        static std::set<std::string> warned;
        std::lock_guard<std::mutex> lock(mutex);
        if (warned.insert(name).second)
            logLine("Warning - syncValue: %s\n", noModulatorText(name, modulatorNames(midi)).c_str());
    }
    return 0.0f;
}

size_t editDistance(const std::string& a, const std::string& b) {
    // d[i][j]: the distance from a's first i characters to b's first j (names are short).
    const size_t w = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * w);
    for (size_t i = 0; i <= a.size(); ++i) d[i * w] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            size_t best = std::min({d[(i - 1) * w + j] + 1, d[i * w + j - 1] + 1, d[(i - 1) * w + j - 1] + cost});
            // Two neighbours typed the wrong way round are one slip, not two.
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                best = std::min(best, d[(i - 2) * w + j - 2] + 1);
            d[i * w + j] = best;
        }
    }
    return d[a.size() * w + b.size()];
}

int nearestName(const std::string& name, const std::vector<std::string>& candidates) {
    int best = -1;
    size_t bestDistance = 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
        size_t d = editDistance(name, candidates[i]);
        if (d > std::max<size_t>(1, std::max(name.size(), candidates[i].size()) / 3)) continue;
        if (best < 0 || d < bestDistance) {
            best = int(i);
            bestDistance = d;
        }
    }
    return best;
}

std::string noModulatorText(const std::string& name, const std::vector<std::string>& modulatorNames) {
    std::string text = "no modulator '" + name + "'";
    int nearest = nearestName(name, modulatorNames);
    if (nearest >= 0) text += "; did you mean '" + modulatorNames[size_t(nearest)] + "'?";
    return text;
}

std::vector<std::string> modulatorNames(const MidiFile* midi) {
    std::vector<std::string> names;
    if (!midi) return names;
    for (const MidiTrack& track : midi->tracks)
        for (const auto& m : track.modulators)
            if (!m->name.empty() && std::find(names.begin(), names.end(), m->name) == names.end())
                names.push_back(m->name);
    return names;
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
