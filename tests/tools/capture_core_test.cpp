// The offline tools' core without a display: option values, the frame arithmetic, the
// virtual clock, the files written (PNG read back through the engine's own decoder,
// WAV headers), output folders and the benchmark's statistics.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "lib/image_io.h"
#include "lib/options.h"
#include "lib/output.h"
#include "lib/session.h"
#include "lib/stats.h"
#include "support/paths.h"
#include "util/data/data.h"
#include "util/texture/png_decoder.h"
#include "util/util/profile.h"

namespace {

using offline::Rate;
using offline::TimePoint;

TEST(CaptureOptions, RatesAreWholeNumbersOrReducedFractions) {
    struct Case {
        const char* text;
        bool ok;
        int64_t num, den;
    } cases[] = {
        {"60", true, 60, 1},         {"25", true, 25, 1},        {"60000/1001", true, 60000, 1001},
        {"120/2", true, 60, 1},      {"30000/1001", true, 30000, 1001}, {"1000", true, 1000, 1},
        {"1001", false, 0, 0},       {"0", false, 0, 0},         {"60/0", false, 0, 0},
        {"-60", false, 0, 0},        {"60.5", false, 0, 0},      {"", false, 0, 0},
        {"/1001", false, 0, 0},      {"60/", false, 0, 0},       {"60 ", false, 0, 0},
        {"6e1", false, 0, 0},        {"60/1/2", false, 0, 0},    {"99999999999999999999", false, 0, 0},
    };
    for (const Case& c : cases) {
        Rate rate;
        bool ok = offline::parseRate(c.text, &rate);
        EXPECT_EQ(c.ok, ok) << "'" << c.text << "'";
        if (ok && c.ok) {
            EXPECT_EQ(c.num, rate.num) << "'" << c.text << "'";
            EXPECT_EQ(c.den, rate.den) << "'" << c.text << "'";
        }
    }
}

TEST(CaptureOptions, TimesCarryBeatsOrSeconds) {
    struct Case {
        const char* text;
        bool ok;
        double value;
        bool beats;
        double secondsAt120;
    } cases[] = {
        {"52b", true, 52, true, 26},      {"26.5s", true, 26.5, false, 26.5}, {"0s", true, 0, false, 0},
        {"0.5b", true, 0.5, true, 0.25},  {".5s", true, 0.5, false, 0.5},     {"52", false, 0, false, 0},
        {"b", false, 0, false, 0},        {"-1s", false, 0, false, 0},        {"1e3s", false, 0, false, 0},
        {"infs", false, 0, false, 0},     {"1.2.3b", false, 0, false, 0},     {" 5s", false, 0, false, 0},
        {"5m", false, 0, false, 0},       {".s", false, 0, false, 0},         {"", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        TimePoint point;
        bool ok = offline::parseTime(c.text, &point);
        EXPECT_EQ(c.ok, ok) << "'" << c.text << "'";
        if (ok && c.ok) {
            EXPECT_EQ(c.value, point.value) << c.text;
            EXPECT_EQ(c.beats, point.beats) << c.text;
            EXPECT_DOUBLE_EQ(c.secondsAt120, point.seconds(120.0)) << c.text;
        }
    }
}

TEST(CaptureOptions, SizesArePositivePairs) {
    struct Case {
        const char* text;
        bool ok;
        int w, h;
    } cases[] = {
        {"1920x1080", true, 1920, 1080}, {"1x1", true, 1, 1},     {"65536x2", true, 65536, 2},
        {"65537x2", false, 0, 0},        {"0x10", false, 0, 0},   {"10x0", false, 0, 0},
        {"10X10", false, 0, 0},          {"10x", false, 0, 0},    {"x10", false, 0, 0},
        {"-5x10", false, 0, 0},          {"10x10x10", false, 0, 0}, {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        bool ok = offline::parseSize(c.text, &w, &h);
        EXPECT_EQ(c.ok, ok) << "'" << c.text << "'";
        if (ok && c.ok) {
            EXPECT_EQ(std::make_pair(c.w, c.h), std::make_pair(w, h)) << c.text;
        }
    }
}

TEST(CaptureFrames, FrameNShowsMusicTimeNOverRate) {
    Rate ntsc{60000, 1001}, sixty{60, 1}, four{4, 1};
    struct Case {
        const char* what;
        Rate rate;
        double seconds;
        int64_t first, last;
    } cases[] = {
        {"0 s at 60", sixty, 0.0, 0, 0},
        {"26 s at 60 (beat 52 at 120 bpm)", sixty, 26.0, 1560, 1560},
        {"26.005 s at 60", sixty, 26.005, 1561, 1560},
        {"between frames at 4", four, 0.3, 2, 1},
        {"a frame's own time at 59.94", ntsc, 1001.0 / 60000.0 * 1234, 1234, 1234},
        {"61.5 s at 59.94", ntsc, 61.5, 3687, 3686},
        {"negative time", sixty, -1.0, 0, -60},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.first, offline::firstFrameAtOrAfter(c.rate, c.seconds)) << c.what;
        EXPECT_EQ(c.last, offline::lastFrameAtOrBefore(c.rate, c.seconds)) << c.what;
    }
    // Frame times are exact multiples, not sums of steps.
    EXPECT_DOUBLE_EQ(1001.0 * 150000 / 60000, offline::frameSeconds(ntsc, 150000));
    EXPECT_EQ(26.0, offline::frameSeconds(sixty, 1560));
}

TEST(CaptureFrames, VirtualClockStepsOneFramePerFrameFromAnyFirstFrame) {
    offline::VirtualClock clock(Rate{60000, 1001}, 77);
    EXPECT_EQ(60000, clock.frequency());
    EXPECT_EQ(77u, clock.ticks());
    const int64_t start = clock.counter();  // what the manager reads at construction
    clock.setOrigin(3000);
    struct Step {
        int64_t frame, ticksFromStart;
    } steps[] = {{3000, 1001}, {3001, 2002}, {3002, 3003}, {3100, 101 * 1001}};
    for (const Step& s : steps) {
        clock.setFrame(s.frame);
        EXPECT_EQ(s.ticksFromStart, clock.counter() - start) << "frame " << s.frame;
    }
}

TEST(CaptureOutput, KindsAndFileNames) {
    struct Case {
        const char* path;
        offline::OutputKind kind;
    } cases[] = {
        {"greeting.mp4", offline::OutputKind::Mp4}, {"a/b.mkv", offline::OutputKind::Mkv},
        {"x.webm", offline::OutputKind::Webm},      {"frames", offline::OutputKind::Folder},
        {"clip.MP4", offline::OutputKind::Folder},  {".mp4", offline::OutputKind::Folder},
        {"video.avi", offline::OutputKind::Folder}, {"mp4", offline::OutputKind::Folder},
    };
    for (const Case& c : cases) EXPECT_EQ(int(c.kind), int(offline::outputKind(c.path))) << c.path;
    EXPECT_EQ("frame_000000.png", offline::frameFileName(0));
    EXPECT_EQ("frame_000042.png", offline::frameFileName(42));
    EXPECT_EQ("frame_1234567.png", offline::frameFileName(1234567));
    struct Duration {
        double seconds;
        const char* text;
    } durations[] = {{0, "0:00"}, {59.4, "0:59"}, {59.6, "1:00"}, {3725, "1:02:05"}, {-1, "-:--"}, {NAN, "-:--"}};
    for (const Duration& d : durations) EXPECT_EQ(d.text, offline::formatDuration(d.seconds)) << d.seconds;
}

TEST(CaptureOutput, FoldersAreCreatedAndBadOnesRefused) {
    std::string scratch = testpaths::freshScratchDir("capture-folders");
    std::string error;
    EXPECT_TRUE(offline::prepareFolder(scratch + "/a/b/c", &error)) << error;
    struct stat info;
    EXPECT_EQ(0, stat((scratch + "/a/b/c").c_str(), &info));
    EXPECT_TRUE(offline::prepareFolder(scratch + "/a/b/c", &error)) << "an existing folder is fine: " << error;
    testpaths::writeFile(scratch + "/plain", "x");
    struct Case {
        std::string path, reason;
    } cases[] = {
        {scratch + "/plain", "not a folder"},
        {scratch + "/plain/sub", "cannot create"},
        {"/proc/festoonery-capture", "cannot create"},
        {"", "no output folder"},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(offline::prepareFolder(c.path, &error)) << c.path;
        EXPECT_NE(std::string::npos, error.find(c.reason)) << c.path << ": " << error;
    }
}

// A test picture: every pixel distinct, rows numbered bottom-up as OpenGL hands them.
std::vector<unsigned char> testPixels(int w, int h) {
    std::vector<unsigned char> rgba(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgba[4 * (size_t(y) * w + x)];
            p[0] = (unsigned char)(x * 7 + y);
            p[1] = (unsigned char)(y * 13);
            p[2] = (unsigned char)(x ^ y);
            p[3] = (unsigned char)(100 + x);
        }
    return rgba;
}

TEST(CapturePng, FramesDecodeThroughTheEnginesDecoderTopRowFirst) {
    std::string scratch = testpaths::freshScratchDir("capture-png");
    struct Case {
        int w, h;
        bool bottomUp, alpha;
        int level;
    } cases[] = {
        {1, 1, true, false, 1},    {7, 5, true, false, 0},   {7, 5, false, true, 9},
        {300, 2, true, true, 1},   {640, 360, true, false, 1}, {3, 400, false, false, 6},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> rgba = testPixels(c.w, c.h);
        std::string path = scratch + "/f.png", error;
        ASSERT_TRUE(offline::writePng(path.c_str(), c.w, c.h, rgba.data(), long(c.w) * 4, c.bottomUp, c.alpha,
                                      c.level, &error))
            << error;
        PvRawPngDecoder decoder;
        ASSERT_EQ(1, decoder.decode(path.c_str()));
        ASSERT_TRUE(decoder.complete()) << c.w << "x" << c.h;
        ASSERT_EQ(uint32_t(c.w), decoder.outputWidth());
        ASSERT_EQ(uint32_t(c.h), decoder.outputHeight());
        EXPECT_EQ(c.alpha ? 6 : 2, decoder.colourType());
        int mismatches = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                int sourceRow = c.bottomUp ? c.h - 1 - y : y;
                const unsigned char* want = &rgba[4 * (size_t(sourceRow) * c.w + x)];
                const unsigned char* got = decoder.rgba() + 4 * (size_t(y) * c.w + x);
                bool same = got[0] == want[0] && got[1] == want[1] && got[2] == want[2] &&
                            got[3] == (c.alpha ? want[3] : 255);
                if (!same && mismatches++ < 3)
                    ADD_FAILURE() << c.w << "x" << c.h << " pixel " << x << "," << y << ": got " << int(got[0])
                                  << "," << int(got[1]) << "," << int(got[2]) << "," << int(got[3]);
            }
        EXPECT_EQ(0, mismatches) << c.w << "x" << c.h;
    }
}

TEST(CapturePng, AnUnwritablePathFailsWithItsReason) {
    std::vector<unsigned char> rgba = testPixels(2, 2);
    std::string error;
    EXPECT_FALSE(offline::writePng("/proc/no/such/frame.png", 2, 2, rgba.data(), 8, true, false, 1, &error));
    EXPECT_NE(std::string::npos, error.find("cannot create /proc/no/such/frame.png")) << error;
    // A full device: the write itself fails, and no partial file is left.
    FILE* full = fopen("/dev/full", "wb");
    if (full) {
        std::vector<unsigned char> big = testPixels(256, 256);
        bool ok = offline::writePngStream(full, 256, 256, big.data(), 1024, true, false, 0);
        int closed = fclose(full);
        EXPECT_FALSE(ok && closed == 0) << "/dev/full takes nothing";
    }
}

uint32_t le32(const std::string& b, size_t at) {
    return uint32_t((unsigned char)b[at]) | uint32_t((unsigned char)b[at + 1]) << 8 |
           uint32_t((unsigned char)b[at + 2]) << 16 | uint32_t((unsigned char)b[at + 3]) << 24;
}

TEST(CaptureWav, HeaderCountsTheFramesAppended) {
    std::string scratch = testpaths::freshScratchDir("capture-wav");
    struct Case {
        int64_t frames;
    } cases[] = {{0}, {1}, {4096}, {44100 * 2 + 3}};
    for (const Case& c : cases) {
        std::string path = scratch + "/s.wav", error;
        offline::WavWriter wav;
        ASSERT_TRUE(wav.open(path.c_str(), 44100, &error)) << error;
        std::vector<int16_t> samples(size_t(c.frames) * 2);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 31 - 20000);
        for (int64_t done = 0; done < c.frames;) {
            int64_t n = std::min<int64_t>(1000, c.frames - done);
            ASSERT_TRUE(wav.append(samples.data() + done * 2, n));
            done += n;
        }
        ASSERT_TRUE(wav.finish(&error)) << error;
        std::string bytes = testpaths::readFile(path);
        ASSERT_EQ(44u + size_t(c.frames) * 4, bytes.size()) << c.frames;
        EXPECT_EQ("RIFF", bytes.substr(0, 4));
        EXPECT_EQ(36u + c.frames * 4, le32(bytes, 4));
        EXPECT_EQ("WAVEfmt ", bytes.substr(8, 8));
        EXPECT_EQ(0x00020001u, le32(bytes, 20)) << "PCM, two channels";
        EXPECT_EQ(44100u, le32(bytes, 24));
        EXPECT_EQ(44100u * 4, le32(bytes, 28));
        EXPECT_EQ(0x00100004u, le32(bytes, 32)) << "4 bytes a frame, 16 bits";
        EXPECT_EQ("data", bytes.substr(36, 4));
        EXPECT_EQ(uint32_t(c.frames * 4), le32(bytes, 40));
        if (c.frames > 0) {
            EXPECT_EQ(0, memcmp(bytes.data() + 44, samples.data(), samples.size() * 2));
        }
    }
    std::string error;
    offline::WavWriter bad;
    EXPECT_FALSE(bad.open("/proc/no/such.wav", 44100, &error));
    EXPECT_NE(std::string::npos, error.find("cannot create")) << error;
}

TEST(BenchStats, NearestRankPercentilesAndMedians) {
    struct Case {
        std::vector<double> values;
        double median, p95, p50;
    } cases[] = {
        {{}, 0, 0, 0},
        {{5}, 5, 5, 5},
        {{1, 2}, 1.5, 2, 1},
        {{3, 1, 2}, 2, 3, 2},
        {{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 5.5, 10, 5},
        // 20 values: the 95th percentile is the 19th smallest, not the largest.
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 100}, 10.5, 19, 10},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(c.median, offline::median(c.values)) << c.values.size() << " values";
        EXPECT_DOUBLE_EQ(c.p95, offline::percentile(c.values, 95)) << c.values.size() << " values";
        EXPECT_DOUBLE_EQ(c.p50, offline::percentile(c.values, 50)) << c.values.size() << " values";
    }
    EXPECT_EQ("\"plain\"", offline::jsonString("plain"));
    EXPECT_EQ("\"a\\\"b\\\\c\\nd\\u0001\"", offline::jsonString("a\"b\\c\nd\x01"));
}

TEST(BenchProfile, ScopesCountOnlyWhileEnabled) {
    profile::takeSeconds(profile::kSimulation);
    uint64_t before = profile::scopeCount(profile::kSimulation);
    { profile::Scope off(profile::kSimulation); }
    EXPECT_EQ(before, profile::scopeCount(profile::kSimulation)) << "off: nothing recorded";
    EXPECT_EQ(0.0, profile::takeSeconds(profile::kSimulation));
    profile::enable(true);
    {
        profile::Scope on(profile::kSimulation);
        int64_t until = profile::nowNs() + 2000000;
        while (profile::nowNs() < until) {
        }
    }
    profile::enable(false);
    EXPECT_EQ(before + 1, profile::scopeCount(profile::kSimulation));
    double seconds = profile::takeSeconds(profile::kSimulation);
    EXPECT_GE(seconds, 0.002);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(0.0, profile::takeSeconds(profile::kSimulation)) << "taking empties the counter";
}

TEST(CaptureOutput, FindsExecutablesOnPath) {
    std::string scratch = testpaths::freshScratchDir("capture-path");
    std::string tool = scratch + "/bin/fake-encoder";
    mkdir((scratch + "/bin").c_str(), 0777);
    testpaths::writeFile(tool, "#!/bin/sh\n");
    testpaths::writeFile(scratch + "/plain-file", "");
    const char* saved = getenv("PATH");
    std::string savedPath = saved ? saved : "";
    setenv("PATH", (scratch + ":" + scratch + "/bin").c_str(), 1);
    EXPECT_EQ("", offline::findExecutable("fake-encoder")) << "not executable yet";
    chmod(tool.c_str(), 0755);
    EXPECT_EQ(tool, offline::findExecutable("fake-encoder"));
    EXPECT_EQ("", offline::findExecutable("plain-file"));
    EXPECT_EQ("", offline::findExecutable("bin")) << "a folder is no program";
    setenv("PATH", savedPath.c_str(), 1);
}

TEST(CaptureStartDeathTest, AMissingArchiveEndsTheRunWithTheDataLayersBox) {
    offline::ProductionOptions options;
    options.archive = testpaths::freshScratchDir("capture-archive") + "/data.mvt";
    unsetenv("FESTOONERY_DATA");
    EXPECT_EXIT(offline::Production(options, 64, 36), testing::ExitedWithCode(1),
                "\\[box\\] [^\n]*\\| [^\n]*Failed to open data file .*capture-archive[^ ]*/data\\.mvt for reading");
    setDataMode(Disk);
}

}  // namespace
