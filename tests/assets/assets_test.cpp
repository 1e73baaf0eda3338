// Checks of the committed production assets under data/common/: that each file is of
// the kind and format its loader accepts, and that the music, its composition and the
// sync description fit the production's beat timeline. These read the files with
// independent parsers (and the system libraries the engine uses), so a regenerated
// asset that the engine would refuse, or one that drifts from the timeline, fails here.
#include <FTGL/ftgl.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sndfile.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/paths.h"

namespace {

const double kBpm = 120.0;
const double kPictureBeat = 20.0;    // the picture and the oscilloscope enter
const double kFireworksBeat = 52.0;  // the starfield and the fireworks enter
const double kFireworksOwnBeats = 40.0;

std::string asset(const std::string& name) {
    return testpaths::readFile(testpaths::source("data/common/" + name));
}

uint32_t be32(const std::string& s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}
uint16_t be16(const std::string& s, size_t at) {
    return uint16_t((uint8_t(s[at]) << 8) | uint8_t(s[at + 1]));
}

// ---------------------------------------------------------------------------------
// Fonts

// Unicode code point -> glyph index from the font's (3, 1) format 4 cmap subtable;
// empty when the font has none.
std::map<uint32_t, uint16_t> unicodeCmap(const std::string& font) {
    std::map<uint32_t, uint16_t> out;
    if (font.size() < 12) return out;
    uint16_t tables = be16(font, 4);
    for (uint16_t t = 0; t < tables; ++t) {
        size_t rec = 12 + 16u * t;
        if (rec + 16 > font.size() || font.compare(rec, 4, "cmap") != 0) continue;
        size_t cmap = be32(font, rec + 8);
        uint16_t subtables = be16(font, cmap + 2);
        for (uint16_t s = 0; s < subtables; ++s) {
            size_t e = cmap + 4 + 8u * s;
            if (be16(font, e) != 3 || be16(font, e + 2) != 1) continue;
            size_t sub = cmap + be32(font, e + 4);
            if (be16(font, sub) != 4) continue;
            uint16_t segs = be16(font, sub + 6) / 2;
            size_t ends = sub + 14, starts = ends + 2u * segs + 2, deltas = starts + 2u * segs,
                   offsets = deltas + 2u * segs;
            for (uint16_t i = 0; i < segs; ++i) {
                uint16_t end = be16(font, ends + 2u * i), start = be16(font, starts + 2u * i);
                uint16_t delta = be16(font, deltas + 2u * i), off = be16(font, offsets + 2u * i);
                for (uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
                    uint16_t g;
                    if (off == 0) {
                        g = uint16_t(c + delta);
                    } else {
                        size_t at = offsets + 2u * i + off + 2u * (c - start);
                        g = be16(font, at);
                        if (g != 0) g = uint16_t(g + delta);
                    }
                    if (g != 0) out[c] = g;
                }
            }
            return out;
        }
    }
    return out;
}

// Advance widths per glyph index from hhea/hmtx, and the em size from head.
struct Metrics {
    unsigned unitsPerEm = 0;
    std::vector<uint16_t> advances;
};
Metrics horizontalMetrics(const std::string& font) {
    Metrics m;
    size_t head = 0, hhea = 0, hmtx = 0;
    for (uint16_t t = 0; t < be16(font, 4); ++t) {
        size_t rec = 12 + 16u * t;
        std::string tag = font.substr(rec, 4);
        if (tag == "head") head = be32(font, rec + 8);
        if (tag == "hhea") hhea = be32(font, rec + 8);
        if (tag == "hmtx") hmtx = be32(font, rec + 8);
    }
    if (!head || !hhea || !hmtx) return m;
    m.unitsPerEm = be16(font, head + 18);
    uint16_t count = be16(font, hhea + 34);
    for (uint16_t i = 0; i < count; ++i) m.advances.push_back(be16(font, hmtx + 4u * i));
    return m;
}

std::string printableAscii() {
    std::string s;
    for (char c = ' '; c <= '~'; ++c) s += c;
    return s;
}

TEST(AssetFonts, LoadInFtglAndMapEveryCharacterTheyDraw) {
    struct Case {
        const char* file;
        std::string mustMap;
    } cases[] = {
        // The eight words of the greeting.
        {"fonts/BaroqueScript.ttf", "Happy0x20birthdayTuppet!BestwishesfromMorvaset"},
        // The overlay and any text line: printable ASCII.
        {"fonts/courier_new.ttf", printableAscii()},
        {"fonts/BaroqueScript.ttf", printableAscii()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes = asset(c.file);
        ASSERT_GT(bytes.size(), 1000u);
        // The engine builds its fonts from memory; FreeType must accept the bytes.
        FTPolygonFont font(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        EXPECT_EQ(0, font.Error());
        EXPECT_TRUE(font.FaceSize(48, 72));
        EXPECT_TRUE(font.CharMap(FT_ENCODING_UNICODE));
        std::map<uint32_t, uint16_t> cmap = unicodeCmap(bytes);
        std::string missing;
        for (char ch : c.mustMap)
            if (ch != ' ' && !cmap.count(uint8_t(ch))) missing += ch;
        EXPECT_EQ("", missing) << "characters without a glyph";
    }
}

TEST(AssetFonts, CourierReplacementIsMonospacedAtCouriersSixTenthsEm) {
    std::string bytes = asset("fonts/courier_new.ttf");
    std::map<uint32_t, uint16_t> cmap = unicodeCmap(bytes);
    Metrics m = horizontalMetrics(bytes);
    ASSERT_GT(m.unitsPerEm, 0u);
    ASSERT_FALSE(m.advances.empty());
    std::set<uint16_t> widths;
    for (char ch : printableAscii()) {
        uint16_t g = cmap[uint8_t(ch)];
        widths.insert(g < m.advances.size() ? m.advances[g] : m.advances.back());
    }
    ASSERT_EQ(1u, widths.size()) << "printable ASCII has " << widths.size() << " widths";
    EXPECT_NEAR(0.6, double(*widths.begin()) / m.unitsPerEm, 0.001);
}

// ---------------------------------------------------------------------------------
// PNG images: the engine's decoder turns only 8-bit, non-interlaced or Adam7 colour
// types 2 and 6 into textures; its chunk reader stops at a short read.

uint32_t crc32(const std::string& s, size_t at, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= uint8_t(s[at + i]);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

TEST(AssetPng, HeadersAreWhatTheEngineDecoderTurnsIntoTextures) {
    struct Case {
        const char* file;
        uint32_t width, height;
        int colourType;
    } cases[] = {
        {"images/own_particle_256.png", 256, 256, 6},
        {"images/asciichart.png", 256, 256, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string png = asset(c.file);
        ASSERT_GT(png.size(), 33u);
        ASSERT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
        std::vector<std::string> order;
        size_t at = 8;
        bool crcOk = true;
        while (at + 12 <= png.size()) {
            uint32_t len = be32(png, at);
            ASSERT_LE(at + 12 + len, png.size()) << "chunk runs past the end";
            std::string type = png.substr(at + 4, 4);
            if (crc32(png, at + 4, len + 4) != be32(png, at + 8 + len)) crcOk = false;
            if (order.empty() || order.back() != type) order.push_back(type);
            if (type == "IHDR") {
                ASSERT_EQ(13u, len);
                EXPECT_EQ(c.width, be32(png, at + 8));
                EXPECT_EQ(c.height, be32(png, at + 12));
                EXPECT_EQ(8, png[at + 16]) << "bit depth";
                EXPECT_EQ(c.colourType, png[at + 17]) << "colour type";
                EXPECT_EQ(0, png[at + 20]) << "interlace";
            }
            at += 12 + len;
            if (type == "IEND") break;
        }
        EXPECT_TRUE(crcOk);
        EXPECT_EQ(png.size(), at) << "bytes after IEND";
        ASSERT_GE(order.size(), 3u);
        EXPECT_EQ("IHDR", order.front());
        EXPECT_EQ("IEND", order.back());
        EXPECT_EQ(1, std::count(order.begin(), order.end(), "IDAT")) << "IDAT not contiguous";
    }
}

// ---------------------------------------------------------------------------------
// The clown picture: a baseline JPEG the engine's libjpeg path reads, 16:9, colourful.

struct RgbImage {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

RgbImage decodeJpeg(const std::string& path) {
    RgbImage img;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return img;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    img.width = cinfo.output_width;
    img.height = cinfo.output_height;
    img.rgb.resize(size_t(img.width) * img.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &img.rgb[size_t(cinfo.output_scanline) * img.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return img;
}

TEST(AssetClown, IsABaselineSixteenByNineJpeg) {
    std::string jpg = asset("images/cokie_the_clown.jpg");
    ASSERT_GT(jpg.size(), 4u);
    ASSERT_EQ(std::string("\xFF\xD8", 2), jpg.substr(0, 2));
    // Walk the marker segments up to the scan: exactly one frame header, SOF0.
    std::vector<int> frames;
    size_t at = 2;
    while (at + 4 <= jpg.size() && uint8_t(jpg[at]) == 0xFF) {
        int marker = uint8_t(jpg[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frames.push_back(marker);
        if (marker == 0xDA) break;
        at += 2 + be16(jpg, at + 2);
    }
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(0xC0, frames[0]) << "not a baseline frame";
    RgbImage img = decodeJpeg(testpaths::source("data/common/images/cokie_the_clown.jpg"));
    ASSERT_GT(img.width, 0u);
    EXPECT_EQ(img.width * 9, img.height * 16) << img.width << " x " << img.height;
    EXPECT_GE(img.width, 800u);
}

// Shares of the picture's pixels by kind: a gradient or a flat placeholder fails.
TEST(AssetClown, IsColourfulWithAPinkFaceAndARedNoseAtTheCentre) {
    RgbImage img = decodeJpeg(testpaths::source("data/common/images/cokie_the_clown.jpg"));
    ASSERT_GT(img.width, 0u);
    auto px = [&](unsigned x, unsigned y) { return &img.rgb[(size_t(y) * img.width + x) * 3]; };
    // Hue histogram of saturated pixels, 12 sectors of 30 degrees.
    std::vector<size_t> hues(12, 0);
    std::set<int> colours;
    size_t saturated = 0;
    for (unsigned y = 0; y < img.height; ++y)
        for (unsigned x = 0; x < img.width; ++x) {
            const uint8_t* p = px(x, y);
            int r = p[0], g = p[1], b = p[2];
            int mx = std::max({r, g, b}), mn = std::min({r, g, b});
            colours.insert((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
            if (mx < 60 || mx - mn < mx / 2) continue;
            ++saturated;
            double h;
            if (mx == r) h = std::fmod((g - b) / double(mx - mn) + 6.0, 6.0);
            else if (mx == g) h = (b - r) / double(mx - mn) + 2.0;
            else h = (r - g) / double(mx - mn) + 4.0;
            hues[size_t(h * 2.0) % 12]++;
        }
    size_t total = size_t(img.width) * img.height;
    int sectors = 0;
    for (size_t n : hues)
        if (n > total / 200) ++sectors;  // at least half a percent of the picture
    EXPECT_GE(sectors, 6) << "hue sectors in use";
    EXPECT_GT(saturated, total / 2) << "saturated pixels";
    EXPECT_GT(colours.size(), 400u) << "distinct colours (4 bits per channel)";

    // Probes relative to the picture size: the pink make-up beside the nose (white
    // words cross it, so it is a colour, not white) and the red nose in the middle.
    auto pink = [](const uint8_t* p) { return p[0] > 220 && p[1] > 120 && p[1] < 180 && p[2] > 150 && p[2] < 210; };
    struct Probe {
        const char* what;
        double fx, fy;
        bool (*ok)(const uint8_t*);
    } probes[] = {
        {"red nose", 0.5, 0.515, [](const uint8_t* p) { return p[0] > 180 && p[1] < 80 && p[2] < 80; }},
        {"pink face left of the nose", 0.40, 0.44, pink},
        {"pink face right of the nose", 0.60, 0.44, pink},
    };
    for (const Probe& p : probes) {
        const uint8_t* c = px(unsigned(p.fx * img.width), unsigned(p.fy * img.height));
        EXPECT_TRUE(p.ok(c)) << p.what << ": got " << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
    }
}

// The greeting's white words scroll through four columns of the width; where they pass,
// at most a tenth of the picture may be near-white (ITU-R 601 luminance above 200), or
// the words vanish in it. The picture as a whole stays bright.
TEST(AssetClown, TheWordsColumnsHoldLittleNearWhite) {
    RgbImage img = decodeJpeg(testpaths::source("data/common/images/cokie_the_clown.jpg"));
    ASSERT_GT(img.width, 0u);
    auto luminance = [&](unsigned x, unsigned y) {
        const uint8_t* p = &img.rgb[(size_t(y) * img.width + x) * 3];
        return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
    };
    const double columns[][2] = {{0.0, 0.12}, {0.2, 0.32}, {0.4, 0.52}, {0.6, 0.72}};
    for (const auto& c : columns) {
        unsigned x0 = unsigned(std::lround(c[0] * img.width)), x1 = unsigned(std::lround(c[1] * img.width));
        size_t nearWhite = 0;
        for (unsigned y = 0; y < img.height; ++y)
            for (unsigned x = x0; x < x1; ++x) nearWhite += luminance(x, y) > 200.0;
        EXPECT_LE(nearWhite * 10, size_t(x1 - x0) * img.height) << "columns " << c[0] << " to " << c[1];
    }
    double sum = 0;
    for (unsigned y = 0; y < img.height; ++y)
        for (unsigned x = 0; x < img.width; ++x) sum += luminance(x, y);
    EXPECT_GT(sum / (double(img.width) * img.height), 120.0) << "mean luminance";
}

// ---------------------------------------------------------------------------------
// The composition: an independent scan of the standard MIDI file for the subset the
// engine's reader accepts (anything else ends the process there).

struct ScannedTrack {
    std::string name;
    int noteEvents = 0;
    double firstNoteBeat = -1;
    double lastBeat = 0;
    std::set<int> controllers;
};
struct ScannedMidi {
    std::string error;
    int format = -1, division = 0;
    std::vector<uint32_t> tempos;
    int timeSignatures = 0, keySignatures = 0;
    std::vector<ScannedTrack> tracks;  // only those with notes, as the reader keeps them
};

ScannedMidi scanMidi(const std::string& d) {
    ScannedMidi m;
    if (d.size() < 14 || d.compare(0, 8, std::string("MThd\0\0\0\6", 8)) != 0) {
        m.error = "header";
        return m;
    }
    m.format = be16(d, 8);
    int chunks = be16(d, 10);
    m.division = be16(d, 12);
    size_t at = 14;
    for (int c = 0; c < chunks; ++c) {
        if (at + 8 > d.size() || d.compare(at, 4, "MTrk") != 0) {
            m.error = "chunk header";
            return m;
        }
        size_t end = at + 8 + be32(d, at + 4);
        at += 8;
        if (end > d.size()) {
            m.error = "chunk past the end";
            return m;
        }
        ScannedTrack t;
        uint32_t ticks = 0;
        int names = 0;
        while (at < end) {
            uint32_t delta = 0;
            for (int i = 0;; ++i) {
                uint8_t b = uint8_t(d[at++]);
                delta = (delta << 7) | (b & 0x7F);
                if (!(b & 0x80)) break;
                if (i == 3) {
                    m.error = "delta time";
                    return m;
                }
            }
            ticks += delta;
            double beat = double(ticks) / m.division;
            uint8_t status = uint8_t(d[at++]);
            if (!(status & 0x80)) {
                m.error = "running status";  // accepted by the reader, but not written by us
                return m;
            }
            int kind = status & 0xF0;
            if (kind == 0x80 || kind == 0x90) {
                if (uint8_t(d[at]) > 127 || uint8_t(d[at + 1]) > 127) m.error = "note data";
                if (t.firstNoteBeat < 0) t.firstNoteBeat = beat;
                ++t.noteEvents;
                at += 2;
            } else if (kind == 0xB0) {
                if (uint8_t(d[at]) > 127 || uint8_t(d[at + 1]) > 127) m.error = "controller data";
                t.controllers.insert(uint8_t(d[at]));
                at += 2;
            } else if (status == 0xFF) {
                uint8_t type = uint8_t(d[at]), len = uint8_t(d[at + 1]);
                std::string body = d.substr(at + 2, len);
                at += 2 + len;
                if (type == 0x03) {
                    t.name = body;
                    ++names;
                } else if (type == 0x51 && len == 3) {
                    m.tempos.push_back(be32(std::string(1, '\0') + body, 0));
                } else if (type == 0x58 && len == 4) {
                    ++m.timeSignatures;
                } else if (type == 0x59 && len == 2) {
                    ++m.keySignatures;
                } else if (!(type == 0x2F && len == 0)) {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "meta 0x%02X length %d", type, len);
                    m.error = buf;
                    return m;
                }
            } else {
                char buf[64];
                std::snprintf(buf, sizeof buf, "event 0x%02X at beat %.2f", status, beat);
                m.error = buf;
                return m;
            }
            t.lastBeat = beat;
        }
        if (at != end) m.error = "events overrun their chunk";
        if (names != 1) m.error = "track without exactly one name";
        if (t.noteEvents > 0) m.tracks.push_back(t);
    }
    if (at != d.size()) m.error = "bytes after the last chunk";
    return m;
}

const ScannedTrack* findTrack(const ScannedMidi& m, const std::string& name) {
    for (const ScannedTrack& t : m.tracks)
        if (t.name == name) return &t;
    return nullptr;
}

TEST(AssetMidi, HoldsOnlyWhatTheReaderAcceptsAndExactlyOneTempo) {
    ScannedMidi m = scanMidi(asset("music/Festoonery.mid"));
    ASSERT_EQ("", m.error);
    EXPECT_EQ(1, m.format);
    EXPECT_GT(m.division, 0);
    EXPECT_LT(m.division, 0x8000);
    ASSERT_EQ(1u, m.tempos.size());
    // The reader keeps 60000000 / u rounded to two decimals; the audio's clock must be
    // exactly that, so the rounding must not change the tempo.
    double bpm = 60000000.0 / m.tempos[0];
    EXPECT_DOUBLE_EQ(kBpm, bpm);
    EXPECT_EQ(1, m.timeSignatures);
    EXPECT_EQ(1, m.keySignatures);
    EXPECT_GE(m.tracks.size(), 4u);
}

TEST(AssetMidi, FitsTheTimelineWithNewVoicesAtEachSceneChange) {
    ScannedMidi m = scanMidi(asset("music/Festoonery.mid"));
    ASSERT_EQ("", m.error);
    double last = 0, first = 1e9;
    std::set<double> entries;
    for (const ScannedTrack& t : m.tracks) {
        last = std::max(last, t.lastBeat);
        first = std::min(first, t.firstNoteBeat);
        entries.insert(t.firstNoteBeat);
    }
    EXPECT_EQ(0.0, first) << "beat 0 must sound at 0 s";
    EXPECT_GE(last, kFireworksBeat + kFireworksOwnBeats);
    for (double beat : {kPictureBeat, kFireworksBeat})
        EXPECT_TRUE(entries.count(beat)) << "no track enters at beat " << beat;
}

// ---------------------------------------------------------------------------------
// The sync description and its controller template.

struct XmlDoc {
    TiXmlDocument doc;
    explicit XmlDoc(const std::string& path) : doc(path.c_str()) { loaded = doc.LoadFile(); }
    bool loaded = false;
};

std::string text(const TiXmlElement* e) {
    return e && e->GetText() ? e->GetText() : "";
}

TEST(AssetSync, NamesExistingFilesAndKeywordsTheLoaderAccepts) {
    const std::string dir = testpaths::source("data/common/music/");
    XmlDoc x(dir + "Festoonery.xml");
    ASSERT_TRUE(x.loaded) << x.doc.ErrorDesc();
    const TiXmlElement* root = x.doc.FirstChildElement("modulators");
    ASSERT_NE(nullptr, root);
    for (const char* attr : {"stream_filename", "mididata_filename"}) {
        const char* file = root->Attribute(attr);
        ASSERT_NE(nullptr, file) << attr;
        EXPECT_GT(testpaths::readFile(dir + file).size(), 0u) << attr << " = " << file;
    }
    EXPECT_EQ(std::string("Festoonery.mid"), root->Attribute("mididata_filename"));
    ScannedMidi midi = scanMidi(asset("music/Festoonery.mid"));
    ASSERT_EQ("", midi.error);

    const std::set<std::string> slopes = {"linear", "exp", "exp_inv"};
    int lfos = 0, envelopes = 0;
    for (const TiXmlElement* mod = root->FirstChildElement(); mod; mod = mod->NextSiblingElement()) {
        const char* assoc = mod->Attribute("association");
        ASSERT_NE(nullptr, assoc);
        SCOPED_TRACE(assoc);
        const ScannedTrack* track = findTrack(midi, assoc);
        ASSERT_NE(nullptr, track) << "no MIDI track of that name";
        if (const TiXmlElement* i = mod->FirstChildElement("intensity")) {
            EXPECT_STREQ("float", i->Attribute("unit"));
        }
        if (const TiXmlElement* lfo = mod->FirstChildElement("lfo")) {
            ++lfos;
            std::string wave = text(lfo->FirstChildElement("wave"));
            EXPECT_TRUE(wave == "sine" || wave == "saw") << wave;
            const TiXmlElement* tempo = lfo->FirstChildElement("tempo");
            ASSERT_NE(nullptr, tempo);
            int num = -1, den = -1, cc = -1;
            EXPECT_EQ(1, std::sscanf(text(tempo->FirstChildElement("numerator")).c_str(), "%i", &num));
            EXPECT_GE(std::sscanf(text(tempo->FirstChildElement("denominator")).c_str(), "%i", &den), 1);
            EXPECT_GT(num, 0);
            EXPECT_GT(den, 0);
            const TiXmlElement* ctl = tempo->FirstChildElement("controller");
            ASSERT_NE(nullptr, ctl);
            EXPECT_EQ(1, std::sscanf(text(ctl->FirstChildElement("cc")).c_str(), "%i", &cc));
            // The reader keeps lanes for every controller but volume (7) and pan (10).
            EXPECT_TRUE(cc >= 0 && cc < 128 && cc != 7 && cc != 10) << cc;
            EXPECT_TRUE(track->controllers.count(cc)) << "track has no events of cc " << cc;
            const TiXmlElement* tpl = ctl->FirstChildElement("template");
            ASSERT_NE(nullptr, tpl);
            ASSERT_NE(nullptr, tpl->Attribute("file"));
            XmlDoc t(dir + tpl->Attribute("file"));
            ASSERT_TRUE(t.loaded) << t.doc.ErrorDesc();
            const TiXmlElement* unit = t.doc.FirstChildElement("unit");
            ASSERT_NE(nullptr, unit);
            const TiXmlElement* tp = unit->FirstChildElement("template");
            ASSERT_NE(nullptr, tp);
            int ranges = 0, expectMin = 0;
            for (const TiXmlElement* r = tp->FirstChildElement("range"); r;
                 r = r->NextSiblingElement("range"), ++ranges) {
                int lo = -1, hi = -1, rn = -1, rd = -1;
                std::sscanf(text(r->FirstChildElement("min")).c_str(), "%i", &lo);
                std::sscanf(text(r->FirstChildElement("max")).c_str(), "%i", &hi);
                const TiXmlElement* v = r->FirstChildElement("value");
                ASSERT_NE(nullptr, v);
                std::sscanf(text(v->FirstChildElement("numerator")).c_str(), "%i", &rn);
                std::sscanf(text(v->FirstChildElement("denominator")).c_str(), "%i", &rd);
                // Ranges tile 0..127 in order, each with a positive period.
                EXPECT_EQ(expectMin, lo);
                EXPECT_LE(lo, hi);
                EXPECT_GT(rn, 0);
                EXPECT_GT(rd, 0);
                expectMin = hi + 1;
            }
            EXPECT_GT(ranges, 0);
            EXPECT_EQ(128, expectMin) << "ranges do not end at 127";
        } else if (const TiXmlElement* env = mod->FirstChildElement("envelope")) {
            ++envelopes;
            struct Part {
                const char* name;
                const char* unit;
                bool sloped;
            } parts[] = {{"attack", "s", true}, {"decay", "s", true}, {"sustain", "percent", false},
                         {"release", "s", true}};
            for (const Part& p : parts) {
                const TiXmlElement* e = env->FirstChildElement(p.name);
                ASSERT_NE(nullptr, e) << p.name;
                EXPECT_STREQ(p.unit, e->Attribute("unit")) << p.name;
                float value = -1;
                EXPECT_EQ(1, std::sscanf(text(e).c_str(), "%f", &value)) << p.name;
                EXPECT_GE(value, 0.0f) << p.name;
                if (p.sloped) {
                    const char* slope = e->Attribute("slope");
                    EXPECT_TRUE(slope && slopes.count(slope)) << p.name << " slope";
                }
            }
        } else {
            ADD_FAILURE() << "modulator of no known kind";
        }
    }
    EXPECT_GE(lfos, 1);
    EXPECT_GE(envelopes, 1);
}

// ---------------------------------------------------------------------------------
// The soundtrack: decoded through libsndfile, the engine's decoder on this platform.

struct Audio {
    int rate = 0, channels = 0, format = 0;
    std::vector<float> samples;  // interleaved
    double seconds() const { return channels ? double(samples.size()) / channels / rate : 0; }
    // RMS level in dBFS over [a, b) seconds, both channels.
    double level(double a, double b) const {
        size_t from = size_t(a * rate) * channels, to = std::min(samples.size(), size_t(b * rate) * channels);
        double sum = 0;
        for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
        return 10.0 * std::log10(std::max(1e-12, sum / std::max<size_t>(1, to - from)));
    }
};

Audio decodeSoundtrack() {
    Audio a;
    SF_INFO info = {};
    SNDFILE* f = sf_open(testpaths::source("data/common/music/Festoonery.ogg").c_str(), SFM_READ, &info);
    if (!f) return a;
    a.rate = info.samplerate;
    a.channels = info.channels;
    a.format = info.format;
    a.samples.resize(size_t(info.frames) * info.channels);
    a.samples.resize(size_t(sf_readf_float(f, a.samples.data(), info.frames)) * info.channels);
    sf_close(f);
    return a;
}

TEST(AssetSoundtrack, IsStereoVorbisCoveringTheCompositionUnclippedAndAudible) {
    Audio a = decodeSoundtrack();
    ASSERT_GT(a.samples.size(), 0u) << "cannot decode the soundtrack";
    EXPECT_EQ(44100, a.rate);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(SF_FORMAT_OGG | SF_FORMAT_VORBIS, a.format);
    ScannedMidi m = scanMidi(asset("music/Festoonery.mid"));
    ASSERT_EQ("", m.error);
    double lastBeat = 0;
    for (const ScannedTrack& t : m.tracks) lastBeat = std::max(lastBeat, t.lastBeat);
    // The run ends with the music: it must last as long as the composition, and not
    // keep the fireworks going long in silence after it.
    double beats = a.seconds() * kBpm / 60.0;
    EXPECT_GE(beats, lastBeat);
    EXPECT_LE(beats, lastBeat + 4.0);
    float peak = 0;
    for (float s : a.samples) peak = std::max(peak, std::fabs(s));
    EXPECT_LT(peak, 1.0f) << "clipped";
    EXPECT_GT(peak, 0.5f) << "too quiet";
}

TEST(AssetSoundtrack, StartsAtBeatZeroAndGetsLouderAtEachSceneChange) {
    Audio a = decodeSoundtrack();
    ASSERT_GT(a.samples.size(), 0u);
    auto at = [](double beat) { return beat * 60.0 / kBpm; };
    // The first notes sit on tick 0: sound within the first 20 ms, not a lead-in gap.
    EXPECT_GT(a.level(0.0, 0.02), -50.0);
    struct Change {
        double beat;
        double minGainDb;
    } changes[] = {{kPictureBeat, 3.0}, {kFireworksBeat, 3.0}};
    for (const Change& c : changes) {
        double before = a.level(at(c.beat - 8), at(c.beat - 4));
        double after = a.level(at(c.beat), at(c.beat + 8));
        EXPECT_GE(after - before, c.minGainDb)
            << "beat " << c.beat << ": " << before << " dB before, " << after << " dB after";
    }
}

}  // namespace
