// The committed composition and sync description read by the engine's own MIDI reader
// and sync-description parser: a file they refuse would end the production at start-up.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/data/data.h"
#include "util/texture/jpg_loader.h"
#include "util/texture/loader_image.h"
#include "util/texture/png_decoder.h"
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

// ---------------------------------------------------------------------------------
// The images through the engine's own decoders.

struct Rgba {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> px;  // top row first
    const uint8_t* at(uint32_t x, uint32_t y) const { return &px[(size_t(y) * width + x) * 4]; }
};

Rgba decodePng(const char* path) {
    Rgba out;
    PvRawPngDecoder d;
    if (d.decode(path) != 1 || !d.rgba() || !d.complete() || d.inflateEnd() != InflateEnd::Finished)
        return out;
    out.width = d.outputWidth();
    out.height = d.outputHeight();
    out.px.assign(d.rgba(), d.rgba() + size_t(out.width) * out.height * 4);
    return out;
}

TEST(AssetEngineImages, SparkFadesSmoothlyFromAWhiteCoreToZeroColourAndAlphaAtTheRim) {
    setDataMode(Disk);
    Rgba img = decodePng("data/common/images/own_particle_256.png");
    ASSERT_EQ(256u, img.width);
    ASSERT_EQ(256u, img.height);
    // Additive blending (GL_ONE, GL_ONE) adds the colour, (GL_SRC_ALPHA, GL_ONE) the
    // colour times alpha: both must reach 0 at the rim, so the square never shows.
    int rimNonZero = 0;
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            double r = std::hypot(x + 0.5 - 128.0, y + 0.5 - 128.0);
            const uint8_t* p = img.at(x, y);
            if (r >= 127.5 && (p[0] | p[1] | p[2] | p[3])) ++rimNonZero;
        }
    EXPECT_EQ(0, rimNonZero) << "pixels at or beyond the rim that are not 0";
    const uint8_t* core = img.at(128, 128);
    EXPECT_GE(core[0], 240);
    EXPECT_GE(core[1], 230);
    EXPECT_GE(core[2], 220);
    EXPECT_EQ(255, core[3]);
    // Soft: along each of four radii every channel falls without a step up, and half
    // way out some glow is left (not a hard disc, not a single bright pixel).
    struct Ray {
        int dx, dy;
    } rays[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const Ray& ray : rays) {
        int prev[4] = {256, 256, 256, 256};
        for (int k = 0; k < 128; ++k) {
            const uint8_t* p = img.at(uint32_t(128 + ray.dx * k - (ray.dx < 0)), uint32_t(128 + ray.dy * k - (ray.dy < 0)));
            for (int c = 0; c < 4; ++c) {
                EXPECT_LE(p[c], prev[c]) << "ray " << ray.dx << "," << ray.dy << " step " << k << " channel " << c;
                prev[c] = p[c];
            }
        }
        const uint8_t* half = img.at(uint32_t(128 + ray.dx * 64), uint32_t(128 + ray.dy * 64));
        EXPECT_GT(half[3], 10) << "ray " << ray.dx << "," << ray.dy;
        EXPECT_LT(half[3], 128) << "ray " << ray.dx << "," << ray.dy;
    }
}

TEST(AssetEngineImages, GlyphChartHoldsCodePage437InSixteenBySixteenCells) {
    setDataMode(Disk);
    Rgba img = decodePng("data/common/images/asciichart.png");
    ASSERT_EQ(256u, img.width);
    ASSERT_EQ(256u, img.height);
    // Coverage of each 16 x 16 cell; glyph code c at column c % 16, row c / 16.
    auto coverage = [&](int code, int x0, int y0, int x1, int y1) {
        int sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint8_t* p = img.at(uint32_t(code % 16 * 16 + x), uint32_t(code / 16 * 16 + y));
                EXPECT_TRUE(p[0] == p[3] && p[1] == p[3] && p[2] == p[3]) << "code " << code << ": RGB must equal alpha";
                sum += p[3];
            }
        return sum;
    };
    for (int code = 0; code < 256; ++code) {
        bool blank = code == 0 || code == 32 || code == 255;
        int total = coverage(code, 0, 0, 16, 16);
        if (blank) EXPECT_EQ(0, total) << "code " << code;
        else EXPECT_GT(total, 0) << "code " << code;
    }
    // The block glyphs fill exactly their part of the cell: (code, x0, y0, x1, y1).
    struct Block {
        int code, x0, y0, x1, y1;
    } blocks[] = {{219, 0, 0, 16, 16}, {220, 0, 8, 16, 16}, {221, 0, 0, 8, 16},
                  {222, 8, 0, 16, 16}, {223, 0, 0, 16, 8}};
    for (const Block& b : blocks) {
        int area = (b.x1 - b.x0) * (b.y1 - b.y0);
        EXPECT_EQ(255 * area, coverage(b.code, b.x0, b.y0, b.x1, b.y1)) << "code " << b.code;
        EXPECT_EQ(255 * area, coverage(b.code, 0, 0, 16, 16)) << "code " << b.code << " outside its part";
    }
    // Box drawing joins its neighbours: the horizontal line 196 touches both side
    // edges of its cell, the vertical line 179 both top and bottom edges.
    EXPECT_GT(coverage(196, 0, 0, 1, 16), 0);
    EXPECT_GT(coverage(196, 15, 0, 16, 16), 0);
    EXPECT_GT(coverage(179, 0, 0, 16, 1), 0);
    EXPECT_GT(coverage(179, 0, 15, 16, 16), 0);
    // Different characters look different: 'O' and '0', 'l' and '1', 'A' and 'B'.
    auto cellDiffers = [&](int a, int b) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (img.at(uint32_t(a % 16 * 16 + x), uint32_t(a / 16 * 16 + y))[3] !=
                    img.at(uint32_t(b % 16 * 16 + x), uint32_t(b / 16 * 16 + y))[3])
                    return true;
        return false;
    };
    for (auto pair : {std::pair<int, int>{'O', '0'}, {'l', '1'}, {'A', 'B'}, {1, 2}, {176, 177}})
        EXPECT_TRUE(cellDiffers(pair.first, pair.second)) << pair.first << " vs " << pair.second;
}

TEST(AssetEngineImages, ClownThroughTheJpegReaderIsUprightWithTheHatOnTop) {
    setDataMode(Disk);
    LoaderImage image;
    ASSERT_TRUE(readJPG(&image, "data/common/images/cokie_the_clown.jpg"));
    // Full-HD: nearest filtering maps one texel to one pixel at 1920 x 1080.
    ASSERT_EQ(1920, image.width());
    ASSERT_EQ(1080, image.height());
    unsigned char* rgba = image.toRGBA();  // bottom row first, as OpenGL takes it
    ASSERT_NE(nullptr, rgba);
    auto pixel = [&](double fx, double fyFromTop) {
        int x = int(fx * image.width()), y = image.height() - 1 - int(fyFromTop * image.height());
        return rgba + (size_t(y) * image.width() + x) * 4;
    };
    struct Probe {
        const char* what;
        double fx, fy;
        bool (*ok)(const unsigned char*);
    } probes[] = {
        {"red nose", 0.5, 0.515, [](const unsigned char* p) { return p[0] > 180 && p[1] < 80 && p[2] < 80; }},
        {"white pom-pom on the hat", 0.516, 0.06,
         [](const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }},
        {"blue shirt below the collar", 0.5, 0.985,
         [](const unsigned char* p) { return p[2] > 150 && p[0] < 100; }},
    };
    for (const Probe& p : probes) {
        const unsigned char* c = pixel(p.fx, p.fy);
        EXPECT_TRUE(p.ok(c)) << p.what << ": " << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
        EXPECT_EQ(255, c[3]) << p.what;
    }
    std::free(rgba);
}

}  // namespace
