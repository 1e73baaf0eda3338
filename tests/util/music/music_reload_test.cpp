// Music::reloadSync as development mode uses it: what a scene holds stays valid, the
// beat follows a new tempo, another music file keeps the position and the paused state,
// and every error keeps the previous description with one line naming the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio/offline.h"
#include "platform/audio/sine_fixture.h"
#include "support/paths.h"
#include "util/music/midi.h"
#include "util/music/music.h"

namespace {

// A one-track MIDI file: the track "Lead" with one note, at the given microseconds per
// quarter note (500000: 120 bpm).
std::string midiFile(unsigned microseconds) {
    const unsigned char bytes[] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96,
        'M', 'T', 'r', 'k', 0, 0, 0, 27,
        0x00, 0xFF, 0x03, 0x04, 'L', 'e', 'a', 'd',
        0x00, 0xFF, 0x51, 0x03, (unsigned char)(microseconds >> 16), (unsigned char)(microseconds >> 8),
        (unsigned char)microseconds,
        0x00, 0x90, 0x3C, 0x40,
        0x60, 0x80, 0x3C, 0x40,
        0x00, 0xFF, 0x2F, 0x00,
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string description(const char* stream, const char* midi, const char* association) {
    return std::string("<modulators stream_filename=\"") + stream + "\" mididata_filename=\"" + midi +
           "\"><modulator association=\"" + association +
           "\" name=\"lead swell\"><envelope><attack unit=\"s\" slope=\"linear\">0.1</attack>"
           "<decay unit=\"s\" slope=\"linear\">0.1</decay><sustain unit=\"percent\">50</sustain>"
           "<release unit=\"s\" slope=\"linear\">0.2</release></envelope></modulator></modulators>";
}

class MusicReload : public testing::Test {
protected:
    void SetUp() override {
        audio::useOfflineClock(true);
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
        // The two 10 s tones are made once per process.
        static const std::string made = [] {
            std::string d = testpaths::freshScratchDir(sinefixture::perProcess("music_reload"));
            sinefixture::write(d + "/tone.ogg", sinefixture::Kind::Ogg, 44100, 2, 10.0);
            sinefixture::write(d + "/other.ogg", sinefixture::Kind::Ogg, 44100, 2, 10.0);
            return d;
        }();
        dir = made;
        testpaths::writeFile(dir + "/song.mid", midiFile(500000));
        write(description("tone.ogg", "song.mid", "Lead"));
        path = dir + "/song.xml";
        testing::internal::CaptureStdout();
        music = new Music(path.c_str());
        testing::internal::GetCapturedStdout();
        // Kept reachable: a Music object is never destroyed (it frees nothing).
        static std::vector<Music*> kept;
        kept.push_back(music);
        music->play();
    }
    void write(const std::string& xml) { testpaths::writeFile(dir + "/song.xml", xml); }
    // reloadSync with its log captured.
    bool reload(std::string* log) {
        testing::internal::CaptureStdout();
        bool ok = music->reloadSync();
        *log = testing::internal::GetCapturedStdout();
        return ok;
    }

    std::string dir, path;
    Music* music = nullptr;
};

TEST_F(MusicReload, ATrackPointerTakenBeforeStaysValid) {
    ASSERT_EQ(1u, music->midi->tracks.size());
    const MidiTrack* held = &music->midi->tracks[0];
    const Modulator* modulator = held->modulators.at(0).get();
    int generation = music->syncGeneration;
    std::string log;
    ASSERT_TRUE(reload(&log)) << log;
    // The scene's pointers still lead to a whole track (the old one) ...
    ASSERT_NE(nullptr, held->name);
    EXPECT_STREQ("Lead", held->name);
    EXPECT_EQ(2, held->noteEvents);
    EXPECT_FLOAT_EQ(0.0f, modulator->value(0, 1.0f, 1.0f, 1.0f));
    // ... and the generation says where the new one is.
    EXPECT_EQ(generation + 1, music->syncGeneration);
    EXPECT_NE(held, &music->midi->tracks[0]);
}

TEST_F(MusicReload, ANewTempoGivesTheBeatOfTheSameMomentUnderIt) {
    struct Case {
        unsigned microseconds;
        float beat;  // at 8 s
    } cases[] = {{750000, 10.67f}, {400000, 20.0f}, {500000, 16.0f}};
    for (const Case& c : cases) {
        // 8 s into the music at the tempo before (beat 16 at the first).
        audio::offlineSetSeconds(8.0);
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
        music->beat();
        testpaths::writeFile(dir + "/song.mid", midiFile(c.microseconds));
        std::string log;
        ASSERT_TRUE(reload(&log)) << log;
        EXPECT_NEAR(c.beat, music->beat(), 0.01f) << c.microseconds << " us per quarter note";
        // And the clock goes on from there.
        audio::offlineSetSeconds(9.0);
        EXPECT_NEAR(c.beat * 9.0f / 8.0f, music->beat(), 0.01f) << c.microseconds;
    }
}

TEST_F(MusicReload, AnotherMusicFileKeepsThePositionAndThePausedState) {
    audio::offlineSetSeconds(6.0);
    float before = music->beat();
    ASSERT_TRUE(BASS_ChannelPause(music->stream));
    HSTREAM old = music->stream;
    write(description("other.ogg", "song.mid", "Lead"));
    std::string log;
    ASSERT_TRUE(reload(&log)) << log;
    EXPECT_NE(old, music->stream);
    EXPECT_NE(BASS_ACTIVE_PLAYING, BASS_ChannelIsActive(music->stream));
    EXPECT_FLOAT_EQ(before, music->beat());
    EXPECT_EQ(BASS_ChannelGetPosition(music->stream, BASS_POS_BYTE), QWORD(6 * 44100 * 4));
    // Playing again goes on from there.
    ASSERT_TRUE(BASS_ChannelPlay(music->stream, FALSE));
    audio::offlineAdvanceBytes(44100 * 4);
    EXPECT_NEAR(before + 2.0f, music->beat(), 0.01f);
}

TEST_F(MusicReload, EveryErrorKeepsThePreviousStateAndLogsOneLineWithItsReason) {
    struct Case {
        const char* what;
        std::string xml;
        std::string midi;  // written to bad.mid when not empty
        const char* reason;
    } cases[] = {
        {"an association typo", description("tone.ogg", "song.mid", "Laed"), "",
         "No MIDI track named 'Laed' for modulator 'lead swell'"},
        {"a missing MIDI file", description("tone.ogg", "none.mid", "Lead"), "", "none.mid"},
        {"a MIDI file that does not read", description("tone.ogg", "bad.mid", "Lead"), std::string("MThd\0\0\0\7\0\1\0\1\0\140", 14),
         "MIDI file format not recognized"},
        {"a missing music file", description("gone.ogg", "song.mid", "Lead"), "", "gone.ogg"},
        {"a music file that does not play", description("bad.mid", "song.mid", "Lead"), "not music",
         "cannot play"},
        {"no stream attribute", "<modulators mididata_filename=\"song.mid\"/>", "", "stream_filename"},
    };
    const MidiFile* midi = music->midi;
    const HSTREAM stream = music->stream;
    const float bpm = music->bpm;
    for (const Case& c : cases) {
        if (!c.midi.empty()) testpaths::writeFile(dir + "/bad.mid", c.midi);
        write(c.xml);
        testing::internal::CaptureStderr();
        std::string log;
        EXPECT_FALSE(reload(&log)) << c.what;
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::string::npos, errors.find("[box]")) << c.what << ": " << errors;
        EXPECT_EQ(midi, music->midi) << c.what;
        EXPECT_EQ(stream, music->stream) << c.what;
        EXPECT_EQ(bpm, music->bpm) << c.what;
        size_t line = log.find("Sync description " + path + " not reloaded: ");
        ASSERT_NE(std::string::npos, line) << c.what << ":\n" << log;
        std::string reasonLine = log.substr(line, log.find('\n', line) - line);
        EXPECT_NE(std::string::npos, reasonLine.find(c.reason)) << c.what << ": " << reasonLine;
        EXPECT_EQ(std::string::npos, log.find("not reloaded", line + reasonLine.size())) << c.what << ": one line:\n"
                                                                                         << log;
    }
    // And the stream still plays.
    EXPECT_EQ(BASS_ACTIVE_PLAYING, BASS_ChannelIsActive(music->stream));
}

}  // namespace
