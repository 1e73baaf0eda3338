// Modulator values by name, for scenes and shaders: what the modulator gives at a beat,
// with the track's note activity looked up inside. Pure (no I/O, no state) but for
// syncValue's one warning per unknown name.
#pragma once

#include <string>
#include <vector>

class MidiFile;
struct MidiTrack;
class Modulator;

// A track's note activity at a beat, in the form Modulator::value takes: on > off while
// a note is held (held since on); otherwise the last note was held from on and released
// at off. No note struck at or before the beat: both 0.
struct NoteActivity {
    float on = 0.0f;
    float off = 0.0f;
};
// Over every note number of the track: held when any note is held at the beat, with on
// the latest note-on among the held ones; otherwise the note released last, with its
// own on and off. Events at the beat itself count.
NoteActivity noteActivityAt(const MidiTrack& track, float beat);

// The modulator's value at the beat on its track, scaled by its intensity.
float modulatorValueAt(const MidiTrack& track, const Modulator& modulator, float beat);

// The first modulator named `name` (tracks in file order, each track's modulators in
// the order the description declared them); null when there is none. track, when not
// null, receives its track.
const Modulator* findModulator(const MidiFile* midi, const char* name, const MidiTrack** track = nullptr);

// The value at the beat of the modulator named `name`, as modulatorValueAt gives it;
// 0 when midi is null or no modulator has that name. An unknown name is logged once per
// process, the first time it is asked for: "Warning - syncValue: " + noModulatorText.
float syncValue(const MidiFile* midi, const char* name, float beat);

// The fewest edits that turn a into b, each the insertion, deletion or substitution of
// one character or the swap of two neighbours.
size_t editDistance(const std::string& a, const std::string& b);
// The index of the candidate nearest to name by edit distance (the first of equals), or
// -1 when there is none or the nearest is more edits away than a third of the longer
// name's characters (one edit at the least): a name that far off is no slip of it.
int nearestName(const std::string& name, const std::vector<std::string>& candidates);
// "no modulator 'NAME'; did you mean 'NEAREST'?" with NEAREST the nearestName of the
// modulator names, or only "no modulator 'NAME'" where none lies near.
std::string noModulatorText(const std::string& name, const std::vector<std::string>& modulatorNames);
// The named modulators' names in findModulator's order, each once.
std::vector<std::string> modulatorNames(const MidiFile* midi);

// A modulator's name as a GLSL identifier: every character that is not an ASCII letter
// or digit becomes '_' ("pad wobble" -> "pad_wobble").
std::string uniformName(const std::string& name);

struct NamedValue {
    std::string name;     // the modulator's own name
    std::string uniform;  // uniformName(name)
    float value;
};
// Every named modulator's value at the beat, in findModulator's order; a name given
// twice is listed once, for its first modulator.
std::vector<NamedValue> syncValuesAt(const MidiFile* midi, float beat);

// Beats (quarter notes) per bar of the MIDI file's time signature: 4 for 4/4, 3 for 6/8;
// 4 without MIDI data.
float beatsPerBar(const MidiFile* midi);
