#include "util/music/music.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "platform/audio/offline.h"
#include "platform/audio/sine_fixture.h"
#include "support/paths.h"

namespace {

using sinefixture::Kind;

// Paths of sound files made once per process; the music code reads them from disk.
std::string fixture(const std::string& name) {
    struct Spec {
        const char* name;
        Kind kind;
        int rate, channels;
        double seconds;
    } static const specs[] = {
        {"sine.ogg", Kind::Ogg, 44100, 2, 2.0},
        {"sine.mp3", Kind::Mp3, 44100, 2, 2.0},
        {"long.ogg", Kind::Ogg, 8000, 1, 61.5},
    };
    static std::string dir = testpaths::freshScratchDir(sinefixture::perProcess("music_fixtures"));
    static std::map<std::string, bool> made;
    std::string path = dir + "/" + name;
    if (!made[name]) {
        for (const Spec& s : specs)
            if (name == s.name) sinefixture::write(path, s.kind, s.rate, s.channels, s.seconds);
        made[name] = true;
    }
    return path;
}

class MusicClock : public testing::Test {
protected:
    void SetUp() override {
        audio::useOfflineClock(true);
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
    }
};

// The box record of a fatal error raised in music.cpp, with the given detail regex.
std::string musicBox(const std::string& detail) {
    return "\\[box\\] Error in file src/util/music/music\\.cpp:[0-9]+ \\| Error in file "
           "src/util/music/music\\.cpp:[0-9]+\\\\n\\\\n" + detail;
}

using MusicDeathTest = MusicClock;

TEST_F(MusicDeathTest, ExtensionsOtherThanMp3OggXmlAreFatal) {
    struct Case {
        const char* path;
        const char* shown;
    } cases[] = {
        {"data/common/music/song.MP3", "\\.MP3"},
        {"data/common/music/song.wav", "\\.wav"},
        {"data/common/music/song.Ogg", "\\.Ogg"},
        {"data/common/music/Festoonery.XML", "\\.XML"},
        {"song.mp3 ", "mp3 "},
        {"mp3", "mp3"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(Music music(c.path), testing::ExitedWithCode(1),
                    musicBox(std::string("Music format ") + c.shown + " not supported\n"))
            << c.path;
}

TEST_F(MusicDeathTest, StreamFailuresAreFatalWithTheirMessages) {
    std::string dir = testpaths::freshScratchDir(sinefixture::perProcess("music_bad"));
    testpaths::writeFile(dir + "/empty.ogg", "");
    testpaths::writeFile(dir + "/text.ogg", "this is no sound file at all");
    testpaths::writeFile(dir + "/text.mp3", std::string(3000, 'x'));
    struct Case {
        std::string path;
        bool play;
        std::string message;
    } cases[] = {
        {dir + "/missing.ogg", false, "Failed to open " + dir + "/missing\\.ogg\n"},
        {dir + "/empty.ogg", false, "Failed to read music data from " + dir + "/empty\\.ogg!\n"},
        {dir + "/text.ogg", true, "Failed to start the music!\n"},
        {dir + "/text.mp3", true, "Failed to start the music!\n"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(
            {
                Music music(c.path.c_str());
                if (c.play) music.play();
                exit(0);
            },
            testing::ExitedWithCode(1), musicBox(c.message))
            << c.path;
}

TEST_F(MusicDeathTest, SampleDataRefusesANullBuffer) {
    std::string path = fixture("sine.ogg");
    EXPECT_EXIT(
        {
            Music music(path.c_str());
            music.sampleData(nullptr);
        },
        testing::ExitedWithCode(1), musicBox("Invalid buffer\n"));
}

TEST_F(MusicClock, StreamingLineGivesBytesAndMinutesSeconds) {
    struct Case {
        const char* name;
        const char* line;
    } cases[] = {
        {"sine.ogg", "streaming file \\[352800 bytes\\] 0:02\n"},
        {"sine.mp3", "streaming file \\[352800 bytes\\] 0:02\n"},
        {"long.ogg", "streaming file \\[10848600 bytes\\] 1:01\n"},
    };
    for (const Case& c : cases) {
        std::string path = fixture(c.name);
        testing::internal::CaptureStdout();
        Music music(path.c_str());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(testing::internal::RE::PartialMatch(
            out, testing::internal::RE(std::string("(^|\n)[0-9]{4}-[0-9]{2}-[0-9]{2} [ 0-9]{2}:"
                                                   "[0-9]{2}:[0-9]{2}:[0-9]{3} ") + c.line + "$")))
            << c.name << ": " << out;
        EXPECT_NE(0u, music.stream) << c.name;
        EXPECT_EQ(music.lengthBytes, BASS_ChannelGetLength(music.stream, BASS_POS_BYTE)) << c.name;
    }
}

TEST_F(MusicClock, MusicFileNamedDirectlyRunsAt999BeatsPerMinuteWithoutMidi) {
    for (const char* name : {"sine.ogg", "sine.mp3"}) {
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
        std::string path = fixture(name);
        Music music(path.c_str());
        EXPECT_EQ(nullptr, music.midi) << name;
        EXPECT_EQ(999.0f, music.bpm) << name;
        EXPECT_EQ(0.0f, music.beatOffset) << name;
        EXPECT_EQ(2u, music.lengthSeconds) << name;
        EXPECT_EQ(0.0f, music.beat()) << name << ": before play";
        music.play();
        EXPECT_EQ(DWORD(BASS_ACTIVE_PLAYING), BASS_ChannelIsActive(music.stream)) << name;
        audio::offlineSetSeconds(1.0);
        EXPECT_FLOAT_EQ(16.65f, music.beat()) << name << ": 999/60 beats per second";
    }
}

TEST_F(MusicClock, BeatsAreExactUnderTheOfflineClock) {
    std::string path = fixture("sine.ogg");
    Music music(path.c_str());
    music.play();
    struct Case {
        double seconds;
        float bpm, offset, beat;
    } cases[] = {
        {0.0, 999.0f, 0.0f, 0.0f},      {0.5, 120.0f, 0.0f, 1.0f},
        {1.0, 120.0f, 0.0f, 2.0f},      {1.5, 120.0f, 0.0f, 3.0f},
        {1.5, 90.0f, 0.0f, 2.25f},      {1.5, 999.0f, 0.0f, 24.975f},
        {1.5, 120.0f, -4.0f, -1.0f},    {1.75, 120.0f, 0.5f, 4.0f},
    };
    for (const Case& c : cases) {
        // Each case on a fresh wrap state: a lower tempo is a jump back for the clock.
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
        music.bpm = c.bpm;
        music.beatOffset = c.offset;
        audio::offlineSetSeconds(c.seconds);
        EXPECT_FLOAT_EQ(c.beat, music.beat())
            << c.seconds << " s at " << c.bpm << " bpm, offset " << c.offset;
        EXPECT_FLOAT_EQ(c.beat, music.beat()) << "a second query of the same position";
        EXPECT_EQ(0.0f, beatWrapState().wrapBeats);
    }
}

TEST(BeatWrap, JumpsBackOfMoreThanOneBeatAddTheWholeLastRawBeat) {
    // At 60 bpm a raw beat is the position in seconds.
    struct Case {
        const char* what;
        std::vector<double> seconds;
        float last;
        float wrap;
    } cases[] = {
        {"back 1.5 beats", {200.0, 198.5}, 398.5f, 200.0f},
        {"back 0.5 beats", {200.0, 199.5}, 199.5f, 0.0f},
        {"back exactly one beat", {200.0, 199.0}, 199.0f, 0.0f},
        {"a restart", {200.0, 0.5}, 200.5f, 200.0f},
        {"two restarts", {10.0, 0.0, 5.0, 1.0}, 16.0f, 15.0f},
        {"forward only", {0.0, 1.0, 50.0}, 50.0f, 0.0f},
    };
    for (const Case& c : cases) {
        beatWrapState() = BeatWrapState{0.0f, 0.0f};
        float result = 0.0f;
        for (double s : c.seconds) result = beatFromSeconds(s, 60.0f, 0.0f);
        EXPECT_FLOAT_EQ(c.last, result) << c.what;
        EXPECT_FLOAT_EQ(c.wrap, beatWrapState().wrapBeats) << c.what;
        EXPECT_FLOAT_EQ(float(c.seconds.back()), beatWrapState().lastRawBeat) << c.what;
    }
}

TEST(BeatWrap, TheStateIsSharedByEveryBeatComputation) {
    // The Fireworks scene computes its own beat through beatFromSeconds: a restart seen
    // by either side lifts both.
    std::string path = fixture("sine.ogg");
    audio::useOfflineClock(true);
    beatWrapState() = BeatWrapState{300.0f, 0.0f};
    Music music(path.c_str());
    music.bpm = 60.0f;
    music.play();
    audio::offlineSetSeconds(1.0);
    EXPECT_FLOAT_EQ(301.0f, music.beat());
    EXPECT_FLOAT_EQ(301.0f, beatFromSeconds(1.0, 60.0f, 0.0f));
}

TEST_F(MusicClock, UpdateAveragesOverTheLastTenUpdates) {
    std::string path = fixture("sine.ogg");
    Music music(path.c_str());
    music.beatOffset = 2.0f;
    music.play();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(2.0f, music.beatHistory[i]);
        EXPECT_EQ(0, music.positionHistory[i]);
    }
    // 441 frames (1764 bytes, 10 ms, 0.1665 beats at 999 bpm) per update.
    for (int n = 1; n <= 14; ++n) {
        audio::offlineAdvanceBytes(1764);
        music.update();
        double beatNow = 2.0 + n * 0.01 * 999.0 / 60.0;
        EXPECT_NEAR(beatNow, music.beatHistory[9], 1e-5) << "update " << n;
        EXPECT_EQ(1764 * n, music.positionHistory[9]) << "update " << n;
        // During the first ten updates the oldest entries still hold the values of play().
        double beatAdvance = n <= 10 ? (beatNow - 2.0) * 0.1 : 0.1665;
        int32_t bytesAdvance = n <= 10 ? 1764 * n / 10 : 1764;
        EXPECT_NEAR(beatAdvance, music.beatAdvance, 1e-5) << "update " << n;
        EXPECT_EQ(bytesAdvance, music.bytesAdvance) << "update " << n;
    }
    EXPECT_EQ(1764 * 5, music.positionHistory[0]) << "oldest of the last ten";
}

TEST_F(MusicClock, SampleDataIsTheStreamAtThePosition) {
    std::string path = fixture("sine.ogg");
    Music music(path.c_str());
    music.play();
    audio::offlineSetSeconds(0.5);
    float buffer[1024];
    music.sampleData(buffer);
    double worst = 0;
    for (int i = 0; i < 512; ++i)
        for (int c = 0; c < 2; ++c)
            worst = std::max(worst, std::fabs(buffer[i * 2 + c] -
                                              sinefixture::wave(c, (22050 + i) / 44100.0)));
    EXPECT_LT(worst, 0.03);
}

TEST_F(MusicClock, PlayClearsTheLoopFlagSoTheStreamEndsOnce) {
    std::string path = fixture("sine.ogg");
    Music music(path.c_str());
    EXPECT_EQ(DWORD(BASS_SAMPLE_LOOP | BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE),
              BASS_ChannelFlags(music.stream, 0, 0));
    music.play();
    EXPECT_EQ(0u, BASS_ChannelFlags(music.stream, 0, 0) & BASS_SAMPLE_LOOP);
    audio::offlineSetSeconds(2.5);
    EXPECT_EQ(DWORD(BASS_ACTIVE_STOPPED), BASS_ChannelIsActive(music.stream));
    EXPECT_FLOAT_EQ(33.3f, music.beat()) << "the beat of the end, not of a wrapped stream";
}

}  // namespace

namespace {

TEST_F(MusicClock, SyncDescriptionGivesTheStreamAndTheMidiTempo) {
    // A description naming the 2 s tone and a one-track MIDI file at 90 bpm
    // (666667 microseconds per quarter note).
    std::string dir = testpaths::freshScratchDir(sinefixture::perProcess("music_sync"));
    testpaths::writeFile(dir + "/tone.ogg", testpaths::readFile(fixture("sine.ogg")));
    const unsigned char midi[] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96,
        'M', 'T', 'r', 'k', 0, 0, 0, 19,
        0x00, 0xFF, 0x03, 0x04, 'L', 'e', 'a', 'd',
        0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2B,
        0x00, 0xFF, 0x2F, 0x00,
    };
    testpaths::writeFile(dir + "/song.mid", std::string(reinterpret_cast<const char*>(midi), sizeof midi));
    testpaths::writeFile(dir + "/song.xml",
                         "<modulators stream_filename=\"tone.ogg\" mididata_filename=\"song.mid\">"
                         "</modulators>");
    std::string path = dir + "/song.xml";
    testing::internal::CaptureStdout();
    Music music(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("streaming file [352800 bytes] 0:02\n")) << out;
    ASSERT_NE(nullptr, music.midi);
    EXPECT_NEAR(90.0f, music.bpm, 0.01f);
    music.bpm = 90.0f;
    music.play();
    audio::offlineSetSeconds(2.0);
    EXPECT_FLOAT_EQ(3.0f, music.beat());
}

}  // namespace
