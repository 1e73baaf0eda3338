// The committed composition and sync description read by the engine's own MIDI reader
// and sync-description parser: a file they refuse would end the production at start-up.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "util/data/data.h"
#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"
#include "platform/audio/offline.h"
#include "util/music/music.h"
#include "util/music/sync.h"

namespace {

const char* kMidiPath = "data/common/music/Festoonery.mid";
const char* kSyncPath = "data/common/music/Festoonery.xml";

const MidiTrack* track(const MidiFile& midi, const char* name) {
    for (const MidiTrack& t : midi.tracks)
        if (t.name && std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

TEST(AssetEngineMidi, ReaderKeepsEveryTrackWithTheTempoOfTheAudio) {
    setDataMode(Disk);
    testing::internal::CaptureStdout();
    MidiFile midi(kMidiPath);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_FLOAT_EQ(120.0f, midi.bpm);
    EXPECT_EQ(4, midi.timeSigNumerator);
    EXPECT_EQ(4, midi.timeSigDenominator);
    EXPECT_NE(std::string::npos, log.find("A total of 7 tracks were added")) << log;
    // Where each voice enters, in beats: the scene changes at 20 and 52 are heard.
    struct Entry {
        const char* name;
        float firstBeat;
    } entries[] = {{"Strings", 0}, {"Celesta", 0}, {"Drums", 19}, {"Lead", 20},
                   {"Bass", 20},   {"Piano", 20},  {"Brass", 52}};
    for (const Entry& e : entries) {
        const MidiTrack* t = track(midi, e.name);
        ASSERT_NE(nullptr, t) << e.name;
        float first = 1e9f;
        for (const MidiNote& n : t->notes) {
            ASSERT_FALSE(n.times.empty());
            EXPECT_GE(n.times[0], 0.0f) << e.name << " note " << n.name << " starts with an off";
            first = std::min(first, n.times[0]);
        }
        EXPECT_FLOAT_EQ(e.firstBeat, first) << e.name;
    }
}

TEST(AssetEngineSync, EveryModulatorIsAttachedToItsTrackWithItsTemplate) {
    setDataMode(Disk);
    testing::internal::CaptureStdout();
    MidiFile midi(kMidiPath);
    TiXmlDocument document;
    loadSyncDocument(document, kSyncPath);
    TiXmlElement* root = document.FirstChildElement("modulators");
    ASSERT_NE(nullptr, root);
    for (TiXmlElement* m = root->FirstChildElement(); m; m = m->NextSiblingElement())
        parseModulatorElement(m, midi, midi.bpm, syncDirectory(kSyncPath));
    std::string log = testing::internal::GetCapturedStdout();

    struct Expect {
        const char* track;
        size_t count;
        int kind;
        size_t ranges;  // controller template entries (oscillators only)
    } expects[] = {
        {"Drums", 1, Modulator::Envelope, 0}, {"Brass", 1, Modulator::Envelope, 0},
        {"Strings", 1, Modulator::Oscillator, 3}, {"Lead", 0, 0, 0},
        {"Bass", 0, 0, 0}, {"Piano", 0, 0, 0}, {"Celesta", 0, 0, 0},
    };
    for (const Expect& e : expects) {
        const MidiTrack* t = track(midi, e.track);
        ASSERT_NE(nullptr, t) << e.track;
        ASSERT_EQ(e.count, t->modulators.size()) << e.track << "\n" << log;
        if (!e.count) continue;
        const Modulator& mod = *t->modulators[0];
        EXPECT_EQ(e.kind, mod.kind) << e.track;
        EXPECT_EQ(e.ranges, mod.rangePeriod.size()) << e.track;
        EXPECT_GT(mod.intensity, 0.0f) << e.track;
        if (mod.kind == Modulator::Oscillator) {
            EXPECT_GT(mod.period, 0.0f);
            // The oscillator follows a controller that the track really moves.
            ASSERT_GE(mod.cc, 0);
            ASSERT_LT(mod.cc, 128);
            EXPECT_FALSE(t->controllers[mod.cc].times.empty()) << "cc " << mod.cc;
            for (size_t i = 0; i < mod.rangePeriod.size(); ++i) EXPECT_GT(mod.rangePeriod[i], 0.0f);
        } else {
            const ADSR& env = static_cast<const ADSR&>(mod);
            EXPECT_GT(env.sustain, 0.0f);
            EXPECT_LE(env.sustain, 1.0f);
            EXPECT_GT(env.attack + env.decay + env.release, 0.0f);
        }
    }
}

// The production's own start-up path: the music object built from the fixed sync
// description, with the audio layer's offline clock so that positions are exact.
TEST(AssetEngineMusic, FixedDescriptionLoadsTheSoundtrackWhoseBeatsMatchTheComposition) {
    setDataMode(Disk);
    audio::useOfflineClock(true);
    beatWrapState() = BeatWrapState{0.0f, 0.0f};
    testing::internal::CaptureStdout();
    Music music;
    std::string log = testing::internal::GetCapturedStdout();
    ASSERT_NE(nullptr, music.midi);
    EXPECT_FLOAT_EQ(120.0f, music.bpm);
    EXPECT_NE(std::string::npos, log.find("1:01\n")) << "soundtrack length\n" << log;
    for (const char* line : {"  track 'Drums' has 1 modulators\n", "  track 'Strings' has 1 modulators\n",
                             "  track 'Lead' has 0 modulators\n"})
        EXPECT_NE(std::string::npos, log.find(line)) << line << log;
    music.play();
    // Seconds of audio against beats of the clock, at the scene changes and the end
    // of the composition: 120 bpm is two beats a second, from 0 s.
    struct Moment {
        double seconds;
        float beat;
    } moments[] = {{0.0, 0.0f}, {10.0, 20.0f}, {26.0, 52.0f}, {61.0, 122.0f}};
    for (const Moment& m : moments) {
        audio::offlineSetSeconds(m.seconds);
        EXPECT_FLOAT_EQ(m.beat, music.beat()) << m.seconds << " s";
    }
    // The oscilloscope's block at beat 52 carries the full band, not silence.
    audio::offlineSetSeconds(26.0);
    float block[1024];
    music.sampleData(block);
    float peak = 0;
    for (float v : block) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.05f);
    audio::useOfflineClock(false);
}

}  // namespace
