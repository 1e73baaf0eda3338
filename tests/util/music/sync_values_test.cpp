// Modulator values by name: the note search and the lookup, against the modulators' own
// value operation.
#include "util/music/sync_values.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <memory>
#include <string>
#include <vector>

#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"
#include "util/music/sync.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A MIDI file with one note track per name; each track's notes are then set by hand.
std::unique_ptr<MidiFile> midiWithTracks(const std::vector<std::string>& names) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, uint8_t(names.size()), 0, 96};
    for (const std::string& name : names) {
        Bytes events = {0x00, 0xFF, 0x03, uint8_t(name.size())};
        for (char c : name) events.push_back(uint8_t(c));
        for (uint8_t b : Bytes{0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00})
            events.push_back(b);
        for (uint8_t b : Bytes{'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(events.size())}) out.push_back(b);
        out.insert(out.end(), events.begin(), events.end());
    }
    testing::internal::CaptureStdout();
    auto midi = std::make_unique<MidiFile>("values", out.data(), out.size());
    testing::internal::GetCapturedStdout();
    for (MidiTrack& track : midi->tracks) track.notes.clear();
    return midi;
}

void addNote(MidiTrack& track, uint8_t number, std::vector<float> times) {
    MidiNote note;
    note.note = number;
    note.times = std::move(times);
    note.velocities.assign(note.times.size(), 100);
    track.notes.push_back(note);
}

Modulator* attach(MidiTrack& track, std::unique_ptr<Modulator> modulator, const char* name, float intensity) {
    modulator->name = name;
    modulator->intensity = intensity;
    testing::internal::CaptureStdout();
    track.modulators.push_back(std::move(modulator));
    testing::internal::GetCapturedStdout();
    return track.modulators.back().get();
}

TEST(SyncValues, ByNameIsTheModulatorsOwnValueAtTheTracksLastNotes) {
    auto midi = midiWithTracks({"Drums", "Strings"});
    MidiTrack& drums = midi->tracks[0];
    // Note 36 held 0..3 and from 12 on; note 38 held 10..10.5 and 20..24, while note 40
    // is held 19..30 (two notes at once).
    addNote(drums, 36, {0.0f, -3.0f, 12.0f});
    addNote(drums, 38, {10.0f, -10.5f, 20.0f, -24.0f});
    addNote(drums, 40, {19.0f, -30.0f});
    testing::internal::CaptureStdout();
    std::unique_ptr<Modulator> adsr = std::make_unique<ADSR>(1.0f, 0, 1.0f, 0, 0.5f, 2.0f, 0);
    testing::internal::GetCapturedStdout();
    const Modulator* envelope = attach(drums, std::move(adsr), "kick glow", 0.8f);

    struct Case {
        float beat;
        bool held;
        float on, off;  // off only when released
    } cases[] = {
        {-1.0f, false, 0, 0},   {0.0f, true, 0, 0},        {0.5f, true, 0, 0},     {1.5f, true, 0, 0},
        {2.9f, true, 0, 0},     {3.0f, false, 0, 3},       {4.0f, false, 0, 3},    {5.5f, false, 0, 3},
        {10.25f, true, 10, 0},  {10.5f, false, 10, 10.5f}, {11.0f, false, 10, 10.5f},
        {12.0f, true, 12, 0},   {19.5f, true, 19, 0},      {22.0f, true, 20, 0},
        {25.0f, true, 19, 0},   {31.0f, true, 12, 0},
    };
    for (const Case& c : cases) {
        NoteActivity a = noteActivityAt(drums, c.beat);
        EXPECT_EQ(c.held, a.on > a.off) << "beat " << c.beat;
        EXPECT_EQ(c.on, a.on) << "beat " << c.beat;
        if (!c.held) {
            EXPECT_EQ(c.off, a.off) << "beat " << c.beat;
        }
        float off = c.held ? c.on - 1.0f : c.off;
        float expected = envelope->value(0, c.beat, off, c.on) * 0.8f;
        EXPECT_FLOAT_EQ(expected, syncValue(midi.get(), "kick glow", c.beat)) << "beat " << c.beat;
    }
    // Known moments of the envelope (A 1, D 1, S 0.5, R 2), times the intensity.
    EXPECT_FLOAT_EQ(0.5f * 0.8f, syncValue(midi.get(), "kick glow", 0.5f));
    EXPECT_FLOAT_EQ(0.75f * 0.8f, syncValue(midi.get(), "kick glow", 1.5f));
    EXPECT_FLOAT_EQ(0.25f * 0.8f, syncValue(midi.get(), "kick glow", 4.0f));
    EXPECT_FLOAT_EQ(0.0f, syncValue(midi.get(), "kick glow", 5.5f));
}

TEST(SyncValues, NamesAreLookedUpInTrackThenDeclarationOrder) {
    auto midi = midiWithTracks({"Drums", "Strings"});
    addNote(midi->tracks[1], 60, {10.0f});
    testing::internal::CaptureStdout();
    std::unique_ptr<Modulator> sine = std::make_unique<LFO>(LFO::Sine, 1, 1, 4, false);
    std::unique_ptr<Modulator> saw = std::make_unique<LFO>(LFO::Saw, 1, 1, 8, false);
    testing::internal::GetCapturedStdout();
    const Modulator* wobble = attach(midi->tracks[1], std::move(sine), "pad wobble", 0.5f);
    attach(midi->tracks[1], std::move(saw), "pad wobble", 1.0f);  // a second of that name

    const MidiTrack* track = nullptr;
    EXPECT_EQ(wobble, findModulator(midi.get(), "pad wobble", &track));
    EXPECT_EQ(&midi->tracks[1], track);
    EXPECT_EQ(nullptr, findModulator(midi.get(), "pad"));
    EXPECT_EQ(nullptr, findModulator(nullptr, "pad wobble"));
    // Sine of period 1 held since 10: 1 at 10.5, times 0.5.
    EXPECT_FLOAT_EQ(0.5f, syncValue(midi.get(), "pad wobble", 10.5f));
    // An unknown name: 0, and one line for all its calls, with the nearest name.
    testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(0.0f, syncValue(midi.get(), "pad wobbel", 10.5f));
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find("Warning - syncValue: no modulator 'pad wobbel'; did you mean 'pad wobble'?\n"))
        << log;
    EXPECT_EQ(log.find("Warning - "), log.rfind("Warning - ")) << "once:\n" << log;
    EXPECT_FLOAT_EQ(0.0f, syncValue(nullptr, "pad wobble", 10.5f));

    std::vector<NamedValue> values = syncValuesAt(midi.get(), 10.5f);
    ASSERT_EQ(1u, values.size()) << "one entry per name";
    EXPECT_EQ("pad wobble", values[0].name);
    EXPECT_EQ("pad_wobble", values[0].uniform);
    EXPECT_FLOAT_EQ(0.5f, values[0].value);
}

TEST(SyncValues, TheDescriptionsNamesReachTheModulatorsAndTheirUniforms) {
    auto midi = midiWithTracks({"Drums"});
    TiXmlDocument document;
    document.Parse(
        "<modulators><modulator association=\"Drums\" name=\"kick-glow 2!\"><envelope>"
        "<attack unit=\"s\" slope=\"linear\">0.5</attack><decay unit=\"s\" slope=\"linear\">0.5</decay>"
        "<sustain unit=\"percent\">50</sustain><release unit=\"s\" slope=\"linear\">1</release>"
        "</envelope></modulator></modulators>");
    testing::internal::CaptureStdout();
    parseModulatorElement(document.FirstChildElement("modulators")->FirstChildElement(), *midi, 120.0f, "");
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(1u, midi->tracks[0].modulators.size());
    EXPECT_EQ("kick-glow 2!", midi->tracks[0].modulators[0]->name);
    EXPECT_EQ("kick_glow_2_", uniformName("kick-glow 2!"));
    EXPECT_EQ("Pad9", uniformName("Pad9"));
}

TEST(SyncValues, ABarIsTheTimeSignaturesLengthInBeats) {
    auto midi = midiWithTracks({"Drums"});
    struct Case {
        uint8_t numerator, denominator;
        float beats;
    } cases[] = {{4, 4, 4}, {3, 4, 3}, {6, 8, 3}, {7, 8, 3.5f}, {2, 2, 4}};
    for (const Case& c : cases) {
        midi->timeSigNumerator = c.numerator;
        midi->timeSigDenominator = c.denominator;
        EXPECT_EQ(c.beats, beatsPerBar(midi.get())) << int(c.numerator) << "/" << int(c.denominator);
    }
    EXPECT_EQ(4.0f, beatsPerBar(nullptr));
}

TEST(ModulatorNames, TheNearestNameIsTheFewestEditsAwayWhenThatIsNear) {
    const std::vector<std::string> names = {"kick glow", "pad swell", "snare"};
    struct Case {
        const char* name;
        std::vector<std::string> candidates;
        int nearest;
    } cases[] = {
        {"kick glw", names, 0},    // a letter left out
        {"kcik glow", names, 0},   // two neighbours swapped: one edit
        {"snaer", names, 2},       // the same in a five-letter name: a third of it is one edit
        {"Snare", names, 2},       // case counts
        {"pad  swell", names, 1},  // a blank too many
        {"snake", names, 2},
        {"scarf", names, -1},      // two edits in a five-letter name: too far
        {"glow", names, -1},       // a word of a name is no slip of it
        {"size", names, -1},
        {"kick glw", {"kick blow", "kick glow"}, 1},  // two edits and one: the nearer
        {"pat", {"pad", "pan"}, 0},                   // equals: the first
        {"kick glw", {}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.nearest, nearestName(c.name, c.candidates)) << c.name;
    EXPECT_EQ("no modulator 'kick glw'; did you mean 'kick glow'?", noModulatorText("kick glw", names));
    EXPECT_EQ("no modulator 'size'", noModulatorText("size", names));
}

}  // namespace
