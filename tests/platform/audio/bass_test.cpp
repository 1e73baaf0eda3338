#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/offline.h"
#include "platform/audio/sine_fixture.h"
#include "support/paths.h"

namespace {

using sinefixture::Kind;

constexpr QWORD kAllOnes = ~QWORD(0);
constexpr DWORD kCreateFlags = BASS_SAMPLE_LOOP | BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE;

struct FixtureSpec {
    const char* name;
    Kind kind;
    int rate;
    int channels;
    double seconds;
};

const FixtureSpec kFixtures[] = {
    {"sine.ogg", Kind::Ogg, 44100, 2, 2.0},
    {"sine.mp3", Kind::Mp3, 44100, 2, 2.0},
    {"mono48k.ogg", Kind::Ogg, 48000, 1, 1.0},
    {"mono22k.mp3", Kind::Mp3, 22050, 1, 1.0},
    {"short.ogg", Kind::Ogg, 44100, 2, 0.5},
    {"sine.wav", Kind::Wav, 44100, 2, 0.5},
};

const std::string& fixtureBytes(const std::string& name) {
    static std::map<std::string, std::string> made;
    static std::string dir = testpaths::freshScratchDir(sinefixture::perProcess("audio_fixtures"));
    auto found = made.find(name);
    if (found != made.end()) return found->second;
    for (const FixtureSpec& f : kFixtures)
        if (name == f.name)
            return made[name] = sinefixture::write(dir + "/" + name, f.kind, f.rate, f.channels, f.seconds);
    return made[name];
}

HSTREAM createFrom(const std::string& bytes, DWORD flags = kCreateFlags) {
    return BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), flags);
}

// Every test of this file but the device ones runs on the offline clock.
class OfflineAudio : public testing::Test {
protected:
    void SetUp() override {
        audio::useOfflineClock(true);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void TearDown() override {
        for (HSTREAM h : streams_) BASS_StreamFree(h);
    }
    HSTREAM make(const std::string& name, DWORD flags = kCreateFlags) {
        const std::string& bytes = fixtureBytes(name);
        EXPECT_FALSE(bytes.empty()) << name << " could not be written";
        HSTREAM h = createFrom(bytes, flags);
        if (h) streams_.push_back(h);
        return h;
    }
    std::vector<HSTREAM> streams_;
};

using AudioDecode = OfflineAudio;

TEST_F(AudioDecode, LengthsCountDecodedStereoFramesAtOutputRate) {
    struct Case {
        const char* name;
        QWORD frames;
    } cases[] = {
        {"sine.ogg", 88200}, {"sine.mp3", 88200}, {"mono48k.ogg", 44100},
        {"mono22k.mp3", 44100}, {"short.ogg", 22050},
    };
    for (const Case& c : cases) {
        HSTREAM h = make(c.name);
        ASSERT_NE(0u, h) << c.name;
        QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
        EXPECT_EQ(c.frames * 4, length) << c.name;
        EXPECT_DOUBLE_EQ(double(c.frames) / 44100.0, BASS_ChannelBytes2Seconds(h, length)) << c.name;
        EXPECT_DOUBLE_EQ(1.0, BASS_ChannelBytes2Seconds(h, 176400)) << c.name;
        EXPECT_EQ(kAllOnes, BASS_ChannelGetLength(h, 1)) << c.name << ": only byte lengths exist";
    }
}

// The 512 frames GetData gives at `seconds`, against the sine the file was written with.
double worstSampleError(HSTREAM h, double seconds, bool mono) {
    audio::offlineSetSeconds(seconds);
    float data[1024];
    EXPECT_EQ(4096u, BASS_ChannelGetData(h, data, BASS_DATA_FLOAT | 4096));
    int64_t first = int64_t(BASS_ChannelGetPosition(h, BASS_POS_BYTE) / 4);
    double worst = 0;
    for (int i = 0; i < 512; ++i)
        for (int c = 0; c < 2; ++c) {
            double expected = sinefixture::wave(mono ? 0 : c, double(first + i) / 44100.0);
            worst = std::max(worst, std::fabs(double(data[i * 2 + c]) - expected));
        }
    return worst;
}

TEST_F(AudioDecode, SampleDataFollowsTheKnownSine) {
    struct Case {
        const char* name;
        bool mono;
        double at[3];
    } cases[] = {
        {"sine.ogg", false, {0.05, 1.0, 1.9}},   {"sine.mp3", false, {0.05, 1.0, 1.9}},
        {"mono48k.ogg", true, {0.05, 0.5, 0.9}}, {"mono22k.mp3", true, {0.05, 0.5, 0.9}},
    };
    for (const Case& c : cases) {
        HSTREAM h = make(c.name);
        ASSERT_NE(0u, h) << c.name;
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        for (double at : c.at) {
            double worst = worstSampleError(h, at, c.mono);
            printf("  %-12s at %.2f s: worst sample error %.4f\n", c.name, at, worst);
            EXPECT_LT(worst, 0.03) << c.name << " at " << at << " s";
        }
    }
}

TEST_F(AudioDecode, RefusesWhatIsNeitherOggNorMp3) {
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a WAV file", fixtureBytes("sine.wav")},
        {"text", "<modulators stream_filename=\"song.ogg\"/>"},
        {"zeros", std::string(4096, '\0')},
        {"an OGG image cut after its first page", fixtureBytes("sine.ogg").substr(0, 58)},
    };
    for (const Case& c : cases) EXPECT_EQ(0u, createFrom(c.bytes)) << c.what;
    EXPECT_EQ(0u, BASS_StreamCreateFile(TRUE, "", 0, 0, kCreateFlags)) << "an empty image";
    EXPECT_EQ(0u, BASS_StreamCreateFile(TRUE, nullptr, 0, 10, kCreateFlags)) << "no image";
}

TEST_F(AudioDecode, DecodesFromTheGivenOffsetOfTheImage) {
    std::string padded = "JUNKJUNK" + fixtureBytes("short.ogg");
    HSTREAM h = BASS_StreamCreateFile(TRUE, padded.data(), 8, padded.size() - 8, kCreateFlags);
    ASSERT_NE(0u, h);
    streams_.push_back(h);
    EXPECT_EQ(22050u * 4, BASS_ChannelGetLength(h, BASS_POS_BYTE));
}

using OfflineClock = OfflineAudio;

TEST_F(OfflineClock, PositionMovesOnlyWhenTheProgramAdvancesIt) {
    HSTREAM h = make("sine.ogg");
    ASSERT_NE(0u, h);
    EXPECT_EQ(0u, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "before play";
    BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(DWORD(BASS_ACTIVE_PLAYING), BASS_ChannelIsActive(h));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(0u, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "real time passed, no advance";

    struct Step {
        bool bySeconds;
        double amount;
        QWORD position;
        DWORD state;
    } steps[] = {
        {false, 4000, 4000, BASS_ACTIVE_PLAYING},
        {false, 4000, 8000, BASS_ACTIVE_PLAYING},
        {true, 1.5, 264600, BASS_ACTIVE_PLAYING},
        {true, 0.25, 44100, BASS_ACTIVE_PLAYING},  // an absolute time may lie behind
        {true, 1.0 / 60.0, 2940, BASS_ACTIVE_PLAYING},
        {true, 1.99999, 352796, BASS_ACTIVE_PLAYING},
        {false, 4, 352800, BASS_ACTIVE_STOPPED},  // the last frame heard: stopped
        {false, 4000, 352800, BASS_ACTIVE_STOPPED},
    };
    for (const Step& s : steps) {
        if (s.bySeconds)
            audio::offlineSetSeconds(s.amount);
        else
            audio::offlineAdvanceBytes(QWORD(s.amount));
        EXPECT_EQ(s.position, BASS_ChannelGetPosition(h, BASS_POS_BYTE))
            << (s.bySeconds ? "to " : "by ") << s.amount;
        EXPECT_EQ(s.state, BASS_ChannelIsActive(h)) << (s.bySeconds ? "to " : "by ") << s.amount;
    }
    EXPECT_EQ(kAllOnes, BASS_ChannelGetPosition(h, 1)) << "only byte positions exist";
}

TEST_F(OfflineClock, LoopFlagWrapsUntilClearedThenTheStreamEndsOnce) {
    HSTREAM h = make("short.ogg");  // 22050 frames
    ASSERT_NE(0u, h);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    audio::offlineSetSeconds(0.75);
    EXPECT_EQ(11025u * 4, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "looped once";
    EXPECT_EQ(DWORD(BASS_ACTIVE_PLAYING), BASS_ChannelIsActive(h));

    struct Case {
        DWORD flags, mask, expected;
    } cases[] = {
        {0, BASS_SAMPLE_LOOP, BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE},
        {BASS_SAMPLE_LOOP, 0, BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE},  // mask 0 keeps all
        {BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP, kCreateFlags},
        {0, BASS_SAMPLE_LOOP, BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, BASS_ChannelFlags(h, c.flags, c.mask))
            << "flags " << c.flags << " mask " << c.mask;
    audio::offlineAdvanceBytes(11025 * 4);
    EXPECT_EQ(22050u * 4, BASS_ChannelGetPosition(h, BASS_POS_BYTE));
    EXPECT_EQ(DWORD(BASS_ACTIVE_STOPPED), BASS_ChannelIsActive(h));
}

TEST_F(OfflineClock, PauseHoldsThePositionAndSetPositionMovesIt) {
    HSTREAM h = make("short.ogg");  // 22050 frames
    ASSERT_NE(0u, h);
    BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP);
    EXPECT_FALSE(BASS_ChannelPause(h)) << "not playing yet";
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    audio::offlineSetSeconds(0.1);
    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(DWORD(BASS_ACTIVE_PAUSED), BASS_ChannelIsActive(h));
    audio::offlineSetSeconds(0.3);
    EXPECT_EQ(4410u * 4, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "a paused stream stays";

    struct Case {
        QWORD set, expected;
    } cases[] = {{1000 * 4 + 3, 1000 * 4}, {99999999, 22050 * 4}, {0, 0}, {8000 * 4, 8000 * 4}};
    for (const Case& c : cases) {
        EXPECT_TRUE(BASS_ChannelSetPosition(h, c.set, BASS_POS_BYTE));
        EXPECT_EQ(c.expected, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "set " << c.set;
    }
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(8000u * 4, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "resumes where it was put";
    audio::offlineSetSeconds(0.25);
    EXPECT_TRUE(BASS_ChannelSetPosition(h, 2000 * 4, BASS_POS_BYTE));
    EXPECT_EQ(2000u * 4, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << "back while playing";
    EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, 7)) << "only byte positions";
    EXPECT_FALSE(BASS_ChannelSetPosition(h + 40, 0, BASS_POS_BYTE));
}

TEST_F(OfflineClock, SampleDataIsZeroPastTheEnd) {
    HSTREAM h = make("short.ogg");
    ASSERT_NE(0u, h);
    BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    struct Case {
        int64_t framesBeforeEnd;
        int nonZeroFloats;
    } cases[] = {{100, 200}, {512, 1024}, {1, 2}};
    for (const Case& c : cases) {
        audio::offlineSetSeconds(double(22050 - c.framesBeforeEnd) / 44100.0);
        float data[1024];
        for (float& v : data) v = 7.0f;
        ASSERT_EQ(4096u, BASS_ChannelGetData(h, data, BASS_DATA_FLOAT | 4096));
        int lastNonZero = -1, outOfRange = 0;
        for (int i = 0; i < 1024; ++i) {
            if (data[i] != 0.0f) lastNonZero = i;
            if (data[i] < -1.0f || data[i] > 1.0f) ++outOfRange;
        }
        EXPECT_EQ(0, outOfRange) << c.framesBeforeEnd << " frames before the end";
        EXPECT_LT(lastNonZero, c.nonZeroFloats) << c.framesBeforeEnd << " frames before the end";
        EXPECT_GE(lastNonZero, c.nonZeroFloats - 4) << c.framesBeforeEnd << " frames before the end";
    }
    audio::offlineAdvanceBytes(400000);
    float data[1024];
    ASSERT_EQ(4096u, BASS_ChannelGetData(h, data, BASS_DATA_FLOAT | 4096));
    for (float v : data) ASSERT_EQ(0.0f, v) << "at the end";
    int16_t raw[8];
    EXPECT_EQ(16u, BASS_ChannelGetData(h, raw, 16)) << "16-bit data without the float flag";
}

TEST_F(OfflineClock, UnknownHandlesAnswerWithTheLibraryErrorValues) {
    HSTREAM freed = make("short.ogg");
    ASSERT_NE(0u, freed);
    ASSERT_TRUE(BASS_StreamFree(freed));
    streams_.clear();
    for (DWORD h : {DWORD(0), DWORD(999), freed}) {
        float data[1024];
        EXPECT_EQ(kAllOnes, BASS_ChannelGetLength(h, BASS_POS_BYTE)) << h;
        EXPECT_EQ(kAllOnes, BASS_ChannelGetPosition(h, BASS_POS_BYTE)) << h;
        EXPECT_LT(BASS_ChannelBytes2Seconds(h, 4), 0.0) << h;
        EXPECT_EQ(DWORD(BASS_ACTIVE_STOPPED), BASS_ChannelIsActive(h)) << h;
        EXPECT_EQ(0xffffffffu, BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP)) << h;
        EXPECT_EQ(FALSE, BASS_ChannelPlay(h, FALSE)) << h;
        EXPECT_EQ(FALSE, BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 1.0f)) << h;
        EXPECT_EQ(0xffffffffu, BASS_ChannelGetData(h, data, BASS_DATA_FLOAT | 4096)) << h;
        EXPECT_EQ(FALSE, BASS_StreamFree(h)) << h;
    }
    EXPECT_EQ(0x0204u, BASS_GetVersion() >> 16);
}

TEST_F(OfflineClock, VolumeIsTheOnlyAttribute) {
    HSTREAM h = make("short.ogg");
    ASSERT_NE(0u, h);
    struct Case {
        DWORD attrib;
        float value;
        BOOL ok;
    } cases[] = {{BASS_ATTRIB_VOL, 1.0f, TRUE}, {BASS_ATTRIB_VOL, 0.0f, TRUE},
                 {BASS_ATTRIB_VOL, -0.5f, FALSE}, {BASS_ATTRIB_VOL, NAN, FALSE},
                 {1, 1.0f, FALSE}};
    for (const Case& c : cases)
        EXPECT_EQ(c.ok, BASS_ChannelSetAttribute(h, c.attrib, c.value))
            << "attribute " << c.attrib << " value " << c.value;
}

// Device tests run in a fresh process each (the device thread must not be forked).
class DeviceOutput : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

int playToTheEnd() {
    dup2(2, 1);  // the audio layer's log lines to stderr, where the test reads them
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 2;
    const std::string& bytes = fixtureBytes("short.ogg");
    HSTREAM h = createFrom(bytes);
    if (!h) return 3;
    BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP);
    BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 1.0f);
    QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    auto start = std::chrono::steady_clock::now();
    if (!BASS_ChannelPlay(h, FALSE) || BASS_ChannelIsActive(h) != BASS_ACTIVE_PLAYING) return 4;
    QWORD previous = 0;
    double worstLag = 0, worstLead = 0;
    int checks = 0;
    for (;;) {
        DWORD state = BASS_ChannelIsActive(h);
        QWORD position = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (position < previous) {
            fprintf(stderr, "FAIL: position went back from %llu to %llu\n",
                    (unsigned long long)previous, (unsigned long long)position);
            return 5;
        }
        if (position > length) return 6;
        previous = position;
        if (state != BASS_ACTIVE_PLAYING) break;
        double heard = BASS_ChannelBytes2Seconds(h, position);
        if (heard > 0.0 && heard < 0.45) {
            worstLag = std::max(worstLag, elapsed - heard);
            worstLead = std::max(worstLead, heard - elapsed);
        }
        ++checks;
        if (elapsed > 10.0) return 7;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fprintf(stderr, "played %.3f s of 0.500 s in %.3f s, %d checks, lag %.1f ms, lead %.1f ms\n",
            BASS_ChannelBytes2Seconds(h, previous), elapsed, checks, worstLag * 1000, worstLead * 1000);
    if (previous != length) return 8;
    if (elapsed < 0.45) return 9;  // the silent output keeps the real pace
    if (worstLead > 0.005) return 10;
    if (BASS_ChannelGetPosition(h, BASS_POS_BYTE) != length) return 11;
    fprintf(stderr, "played to the end\n");
    return 0;
}

// A seek on the device: the position is the new one at once and goes on from there.
int seekWhilePlaying() {
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 2;
    HSTREAM h = createFrom(fixtureBytes("short.ogg"));
    if (!h || !BASS_ChannelPlay(h, FALSE)) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    if (!BASS_ChannelSetPosition(h, 13230 * 4, BASS_POS_BYTE)) return 4;  // 0.3 s
    auto seeked = std::chrono::steady_clock::now();
    QWORD previous = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    if (previous != 13230 * 4) return 5;
    double elapsed = 0;
    while (elapsed < 0.1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        QWORD position = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
        if (position < previous) return 6;
        previous = position;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - seeked).count();
    }
    // From 0.3 s on at the real pace (a loaded machine may call back late, never early),
    // not from where the device was before the seek (about 0.06 s).
    double heard = BASS_ChannelBytes2Seconds(h, previous);
    fprintf(stderr, "heard %.3f s, %.3f s after the seek\n", heard, elapsed);
    return heard >= 0.3 && heard <= 0.3 + elapsed + 0.03 ? 0 : 7;
}

TEST_F(DeviceOutput, SetPositionWhilePlayingGoesOnFromTheNewPosition) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EXIT(exit(seekWhilePlaying()), testing::ExitedWithCode(0), "heard 0\\.[34]");
}

TEST_F(DeviceOutput, SilentDriverPlaysOnceToTheEndAtTheRealPace) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EXIT(exit(playToTheEnd()), testing::ExitedWithCode(0),
                "Audio output: silent \"dummy\" driver, playing on the real clock\n(.|\n)*"
                "played to the end");
}

// Without a sound device the position follows the wall clock even with every core busy:
// a late query sees it further on, never behind. The time is read on both sides of each
// query, so a query preempted by the load is not counted against the position.
int silentClockUnderLoad() {
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 2;
    HSTREAM h = createFrom(fixtureBytes("sine.ogg"));
    if (!h) return 3;
    BASS_ChannelFlags(h, 0, BASS_SAMPLE_LOOP);
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i)
        load.emplace_back([&stop] {
            volatile uint64_t spin = 0;
            while (!stop.load(std::memory_order_relaxed)) spin = spin + 1;
        });
    auto seconds = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    double start = seconds();
    if (!BASS_ChannelPlay(h, FALSE)) return 4;
    double worstLag = 0, worstLead = 0, end = 0;
    int queries = 0;
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING && seconds() - start < 10.0) {
        double before = seconds();
        double heard = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h, BASS_POS_BYTE));
        double after = seconds();
        if (heard < 2.0) {
            worstLag = std::max(worstLag, (before - start) - heard);
            worstLead = std::max(worstLead, heard - (after - start));
        }
        end = after - start;
        ++queries;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    for (std::thread& t : load) t.join();
    // The figures on stdout too, where the test run shows them.
    for (FILE* out : {stderr, stdout})
        fprintf(out, "%u busy threads, %d queries: lag at most %.1f ms, lead at most %.1f ms, end seen %.3f s\n",
                cores, queries, worstLag * 1000, worstLead * 1000, end);
    fflush(stdout);
    if (worstLead > 0.001) return 5;
    return worstLag <= 0.020 ? 0 : 6;
}

TEST_F(DeviceOutput, SilentOutputFollowsTheWallClockWithEveryCoreBusy) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EXIT(exit(silentClockUnderLoad()), testing::ExitedWithCode(0), "busy threads");
}

TEST_F(DeviceOutput, NoSoundDeviceFallsBackToSilentOutputWithOneLogLine) {
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            setvbuf(stdout, nullptr, _IONBF, 0);
            BOOL ok = BASS_Init(-1, 44100, 0, nullptr, nullptr);
            fprintf(stderr, "init %d driver %s\n", ok, audio::outputDriver());
            exit(ok ? 0 : 2);
        },
        testing::ExitedWithCode(0),
        "Audio output: no sound device \\([^\n]*\\), playing silently on the real clock\n"
        "init 1 driver dummy\n");
}

TEST_F(DeviceOutput, RefusesAnotherRateThanTheOutputRate) {
    EXPECT_EXIT(
        {
            audio::useOfflineClock(false);
            exit(BASS_Init(-1, 48000, 0, nullptr, nullptr) ? 2 : 0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
