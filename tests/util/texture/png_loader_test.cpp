#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "util/data/data.h"
#include "util/texture/image_test_support.h"
#include "util/texture/png_decoder.h"

namespace {

using namespace imgtest;

const char* kRefusedBox = "| Invalid texture information";
const char* kRefusedCaption = "[box] ERROR at src/util/texture/png_loader.cpp:";

// RGBA of 8-bit samples of colour type 0, 2, 4 or 6 (no transparency keys).
Bytes toRgba(const PngSpec& s) {
    Bytes out;
    int channels = channelsOf(s.colourType);
    for (size_t p = 0; p < size_t(s.width) * s.height; ++p) {
        const uint8_t* v = &s.pixels[p * size_t(channels)];
        switch (s.colourType) {
            case 0: out.insert(out.end(), {v[0], v[0], v[0], 255}); break;
            case 2: out.insert(out.end(), {v[0], v[1], v[2], 255}); break;
            case 4: out.insert(out.end(), {v[0], v[0], v[0], v[1]}); break;
            default: out.insert(out.end(), {v[0], v[1], v[2], v[3]}); break;
        }
    }
    return out;
}

PngSpec image(uint32_t w, uint32_t h, int colourType, uint32_t seed = 1) {
    PngSpec s;
    s.width = w;
    s.height = h;
    s.colourType = colourType;
    s.pixels = patternBytes(size_t(w) * h * size_t(channelsOf(colourType)), seed);
    return s;
}

void expectLoads(const std::string& name, const Bytes& png, uint32_t w, uint32_t h, const Bytes& topFirstRgba) {
    Loaded r;
    load(Loader::PNG, scratchFile(name + ".png", png), &r);
    ASSERT_TRUE(r.ok) << name << "\n" << r.err << r.out;
    EXPECT_EQ(int(w), r.texture.width) << name;
    EXPECT_EQ(int(h), r.texture.height) << name;
    EXPECT_EQ(32, r.texture.bitsPerPixel) << name;
    EXPECT_EQ(GLenum(GL_RGBA), r.texture.format) << name;
    EXPECT_EQ("", firstDifference(flipRows(topFirstRgba, w, h), r.pixels())) << name;
    EXPECT_EQ("", r.err) << name;
}

// reason: what the box says after "Invalid texture information" and its empty line.
void expectRefused(const std::string& name, const Bytes& png, const std::string& reason = "") {
    Loaded r;
    load(Loader::PNG, scratchFile(name + ".png", png), &r);
    EXPECT_FALSE(r.ok) << name;
    EXPECT_EQ(nullptr, r.texture.imageData) << name;
    EXPECT_NE(std::string::npos, r.err.find(kRefusedCaption)) << name << ": " << r.err;
    EXPECT_NE(std::string::npos, r.err.find(std::string(kRefusedBox) + "\\n\\n" + reason)) << name << ": " << r.err;
}

TEST(PngSuite, EveryFileDoesWhatTheManifestSays) {
    std::ifstream manifest(testpaths::conformance("pngsuite/MANIFEST.tsv"));
    ASSERT_TRUE(manifest.good()) << "no conformance manifest";
    std::string line;
    std::getline(manifest, line);  // column names
    int files = 0, loads = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string file, expect;
        int width, height, colourType, depth, interlace;
        if (!(fields >> file >> width >> height >> colourType >> depth >> interlace >> expect)) continue;
        ++files;
        std::string path = testpaths::conformance("pngsuite/" + file);
        Loaded r;
        load(Loader::PNG, path, &r);
        if (expect == "load") {
            ++loads;
            ASSERT_TRUE(r.ok) << file << "\n" << r.err;
            std::string rgba = testpaths::readFile(testpaths::conformance("pngsuite/" + file.substr(0, file.size() - 4) + ".rgba"));
            Bytes expected = flipRows(Bytes(rgba.begin(), rgba.end()), uint32_t(width), uint32_t(height));
            EXPECT_EQ(width, r.texture.width) << file;
            EXPECT_EQ(height, r.texture.height) << file;
            EXPECT_EQ(32, r.texture.bitsPerPixel) << file;
            EXPECT_EQ(GLenum(GL_RGBA), r.texture.format) << file;
            EXPECT_EQ("", firstDifference(expected, r.pixels())) << file;
        } else {
            EXPECT_FALSE(r.ok) << file;
            EXPECT_EQ(nullptr, r.texture.imageData) << file;
            EXPECT_NE(std::string::npos, r.err.find(kRefusedBox)) << file << ": " << r.err;
        }
    }
    EXPECT_EQ(30, files);
    EXPECT_EQ(10, loads);
}

TEST(PngDecoder, EachFilterTypeAndColourTypeGivesThePixels) {
    struct Case {
        int colourType;
        std::vector<int> filters;
    } cases[] = {
        {6, {0}}, {6, {1}}, {6, {2}}, {6, {3}}, {6, {4}}, {6, {0, 1, 2, 3, 4}}, {6, {4, 3, 2, 1, 0}},
        {2, {1}}, {2, {3}}, {2, {4}}, {2, {2, 4, 1, 3}},
        {4, {1}}, {4, {3}}, {4, {4}},
        {0, {1}}, {0, {3}}, {0, {4}}, {0, {2, 3, 4}},
        {9, {5, 200}},  // unknown filter values add nothing (colour type 9 below means 6)
    };
    for (const Case& c : cases) {
        int colourType = c.colourType == 9 ? 6 : c.colourType;
        PngSpec s = image(13, 7, colourType, uint32_t(c.filters.size() * 7 + uint32_t(colourType)));
        s.filters = c.filters;
        std::string name = "filter_ct" + std::to_string(colourType) + "_f" + std::to_string(c.filters[0]) + "_n" +
                           std::to_string(c.filters.size());
        if (c.colourType == 9) {
            // The encoder would subtract nothing for these types, so the raw bytes are the data.
            s.filters = {0};
            Bytes png = buildPng(s);
            Bytes data = filteredData(s);
            for (size_t row = 0; row < 7; ++row) data[row * (13 * 4 + 1)] = uint8_t(row % 2 ? 200 : 5);
            Bytes withOdd = signature();
            chunk(withOdd, "IHDR", ihdr(13, 7, 8, 6, 0));
            chunk(withOdd, "IDAT", zlibStream(data, Block::Dynamic));
            chunk(withOdd, "IEND", {});
            expectLoads(name, withOdd, 13, 7, toRgba(s));
            continue;
        }
        expectLoads(name, buildPng(s), 13, 7, toRgba(s));
    }
}

TEST(PngDecoder, BlockTypesAndIdatSplitsGiveTheSamePixels) {
    struct Case {
        const char* name;
        Block block;
        size_t blockSize;
        size_t idatSize;
        bool matches;
    } cases[] = {
        {"one_dynamic", Block::Dynamic, 65535, 0, true},
        {"dynamic_literals_only", Block::Dynamic, 65535, 0, false},
        {"many_dynamic", Block::Dynamic, 300, 0, true},
        {"fixed", Block::Fixed, 65535, 0, true},
        {"many_fixed", Block::Fixed, 100, 0, true},
        {"stored", Block::Stored, 65535, 0, false},
        {"many_stored", Block::Stored, 77, 0, false},
        {"idat_1", Block::Dynamic, 65535, 1, true},
        {"idat_7", Block::Fixed, 65535, 7, true},
        {"idat_100_stored", Block::Stored, 50, 100, false},
    };
    PngSpec base = image(40, 30, 6, 5);
    base.filters = {0, 1, 2, 3, 4};
    for (const Case& c : cases) {
        PngSpec s = base;
        s.block = c.block;
        s.blockSize = c.blockSize;
        s.idatSize = c.idatSize;
        s.matches = c.matches;
        expectLoads(c.name, buildPng(s), 40, 30, toRgba(s));
    }
}

TEST(PngDecoder, Adam7GivesTheSamePixelsAsTheSequentialFile) {
    struct Case {
        uint32_t w, h;
        int colourType;
    } cases[] = {
        {1, 1, 6}, {2, 3, 6}, {5, 1, 2}, {1, 9, 2}, {9, 9, 6}, {33, 17, 2}, {8, 8, 4}, {16, 5, 0}, {3, 4, 0},
    };
    for (const Case& c : cases) {
        PngSpec s = image(c.w, c.h, c.colourType, c.w * 31 + c.h);
        s.filters = {1, 4, 2, 3, 0};
        std::string name = "adam7_" + std::to_string(c.w) + "x" + std::to_string(c.h) + "_ct" + std::to_string(c.colourType);
        s.interlace = 1;
        expectLoads(name, buildPng(s), c.w, c.h, toRgba(s));
    }
}

TEST(PngDecoder, TwoByTwoRgbaIsSixteenBytesBottomRowFirst) {
    PngSpec s;
    s.width = 2;
    s.height = 2;
    s.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Loaded r;
    load(Loader::PNG, scratchFile("2x2.png", buildPng(s)), &r);
    ASSERT_TRUE(r.ok) << r.err;
    Bytes expected{9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ("", firstDifference(expected, r.pixels()));
}

TEST(PngDecoder, TransparencyKeysFollowTheEngineRule) {
    Bytes greyKey0 = {0, 0};
    Bytes greyKey300 = {1, 44};
    Bytes rgbKey = {0, 10, 0, 20, 0, 30};
    Bytes palette = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    struct Case {
        const char* name;
        int colourType;
        Bytes pixels;
        Bytes trns;
        Bytes expected;  // RGBA, top row first, one row
    } cases[] = {
        {"grey key 0", 0, {0, 5, 0, 255}, greyKey0, {0, 0, 0, 0, 5, 5, 5, 255, 0, 0, 0, 0, 255, 255, 255, 255}},
        {"grey key above 8 bits", 0, {0, 44, 255, 1}, greyKey300,
         {0, 0, 0, 255, 44, 44, 44, 255, 255, 255, 255, 255, 1, 1, 1, 255}},
        {"grey short tRNS ignored", 0, {0, 1, 2, 3}, {0}, {0, 0, 0, 255, 1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255}},
        {"truecolour key", 2, {10, 20, 30, 10, 20, 31, 30, 20, 10, 10, 20, 30}, rgbKey,
         {10, 20, 30, 0, 10, 20, 31, 255, 30, 20, 10, 255, 10, 20, 30, 0}},
        // Indexed: one alpha per palette entry in palette order; entries past the chunk are opaque.
        {"indexed alpha per entry", 3, {0, 1, 2, 3}, {2, 0, 128}, {10, 11, 12, 2, 20, 21, 22, 0, 30, 31, 32, 128, 40, 41, 42, 255}},
        {"indexed alpha of entry 0 only", 3, {3, 0, 0, 1}, {3}, {40, 41, 42, 255, 10, 11, 12, 3, 10, 11, 12, 3, 20, 21, 22, 255}},
        {"indexed alpha beyond the palette ignored", 3, {3, 2, 1, 0}, {9, 9, 9, 9, 9, 9},
         {40, 41, 42, 9, 30, 31, 32, 9, 20, 21, 22, 9, 10, 11, 12, 9}},
        {"indexed no tRNS", 3, {3, 2, 1, 0}, {}, {40, 41, 42, 255, 30, 31, 32, 255, 20, 21, 22, 255, 10, 11, 12, 255}},
        {"index beyond the palette stays transparent black", 3, {0, 4, 200, 3}, {},
         {10, 11, 12, 255, 0, 0, 0, 0, 0, 0, 0, 0, 40, 41, 42, 255}},
    };
    for (const Case& c : cases) {
        PngSpec s;
        s.width = 4;
        s.height = 1;
        s.colourType = c.colourType;
        s.pixels = c.pixels;
        s.trns = c.trns;
        if (c.colourType == 3) s.palette = palette;
        expectLoads(c.name, buildPng(s), 4, 1, c.expected);
    }
}

// The decoder itself, for the pairs the texture refuses.
struct Decoded {
    PvRawPngDecoder decoder;
    int result = 0;
    Bytes rgba() const {
        if (!decoder.rgba()) return {};
        return Bytes(decoder.rgba(), decoder.rgba() + size_t(decoder.outputWidth()) * decoder.outputHeight() * 4);
    }
};

TEST(PngDecoder, DepthsOtherThanEightAreDecodedButRefused) {
    PngSpec rgb16;
    rgb16.width = 2;
    rgb16.height = 1;
    rgb16.colourType = 2;
    rgb16.depth = 16;
    rgb16.pixels = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0x01, 0x00, 0x02, 0x80, 0x03};
    rgb16.filters = {4};
    rgb16.trns = {0xFF, 0x01, 0x00, 0x02, 0x80, 0x03};
    PngSpec indexed4;
    indexed4.width = 3;
    indexed4.height = 2;
    indexed4.colourType = 3;
    indexed4.depth = 4;
    indexed4.palette = {1, 2, 3, 4, 5, 6};
    indexed4.pixels = {0x01, 0x10, 0x11, 0x00};  // rows: 0 1 1 | 1 1 0; the last nibbles are padding
    PngSpec grey1;
    grey1.width = 10;
    grey1.height = 1;
    grey1.colourType = 0;
    grey1.depth = 1;
    grey1.pixels = {0xA5, 0x40};
    grey1.filters = {1};
    indexed4.trns = {7};  // palette entry 0's alpha
    struct Case {
        const char* name;
        PngSpec spec;
        Bytes expected;
        std::string reason;
    } cases[] = {
        {"truecolour 16: high bytes, 16-bit key", rgb16, {0x12, 0x56, 0x9A, 255, 0xFF, 0x00, 0x80, 0},
         "The image has a bit depth of 16 (colour type 2). Textures take 8-bit PNG files"},
        {"indexed 4", indexed4, {1, 2, 3, 7, 4, 5, 6, 255, 4, 5, 6, 255, 4, 5, 6, 255, 4, 5, 6, 255, 1, 2, 3, 7},
         "The image has a bit depth of 4 (colour type 3)."},
        {"grey 1: alpha 0", grey1,
         {255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0,
          0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0},  // 1010 0101 01
         "The image has a bit depth of 1 (colour type 0)."},
    };
    for (const Case& c : cases) {
        std::string path = scratchFile(std::string(c.name).substr(0, 8) + ".png", buildPng(c.spec));
        Decoded d;
        EXPECT_EQ(1, d.decoder.decode(path.c_str())) << c.name;
        EXPECT_TRUE(d.decoder.complete()) << c.name;
        EXPECT_EQ("", firstDifference(c.expected, d.rgba())) << c.name;
        expectRefused(c.name, buildPng(c.spec), c.reason);
    }
}

TEST(PngDecoder, HeaderFieldsAndKeysAreRead) {
    PngSpec s = image(3, 2, 2);
    s.trns = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    Bytes png = signature();
    chunk(png, "IHDR", ihdr(3, 2, 8, 2, 0));
    chunk(png, "gAMA", {0, 0, 0xB1, 0x8F});
    chunk(png, "tRNS", s.trns);
    chunk(png, "PLTE", {1, 2, 3});
    chunk(png, "IDAT", zlibStream(filteredData(s), Block::Fixed));
    chunk(png, "IEND", {});
    Decoded d;
    ASSERT_EQ(1, d.decoder.decode(scratchFile("fields.png", png).c_str()));
    struct Field {
        const char* name;
        long long expected, actual;
    } fields[] = {
        {"width", 3, d.decoder.width()},
        {"height", 2, d.decoder.height()},
        {"bit depth", 8, d.decoder.bitDepth()},
        {"colour type", 2, d.decoder.colourType()},
        {"gamma", 45455, d.decoder.gamma()},
        {"palette count", 1, d.decoder.paletteCount()},
        {"key 1", 0x0102, d.decoder.transparencyKey(0)},
        {"key 2", 0x0304, d.decoder.transparencyKey(1)},
        {"key 3", 0x0506, d.decoder.transparencyKey(2)},
    };
    for (const Field& f : fields) EXPECT_EQ(f.expected, f.actual) << f.name;
    Decoded fresh;
    EXPECT_EQ(2147483647, fresh.decoder.transparencyKey(0));
    EXPECT_EQ(100000, fresh.decoder.gamma());
}

TEST(PngLoader, OpenAndSignatureFailuresLogTheLine) {
    Bytes wrongSignature = buildPng(image(2, 2, 6));
    wrongSignature[1] = 'Q';
    Bytes badPalette = signature();
    chunk(badPalette, "IHDR", ihdr(1, 1, 8, 3, 0));
    chunk(badPalette, "PLTE", {1, 2, 3, 4});
    chunk(badPalette, "IDAT", zlibStream({0, 0}, Block::Fixed));
    struct Case {
        const char* name;
        std::string path;
        const char* reason;  // the log line after the loader's own
    } cases[] = {
        {"missing file", scratchFile("x", {}) + "-does-not-exist.png", "  The file cannot be opened.\n"},
        {"wrong signature", scratchFile("wrongsig.png", wrongSignature), "  The file does not start with the PNG signature"},
        {"short file", scratchFile("short.png", {137, 80, 78}), "  The file does not start with the PNG signature"},
        {"PLTE length 4", scratchFile("badplte.png", badPalette), "  The PLTE chunk's length is not a multiple of 3"},
    };
    for (const Case& c : cases) {
        Loaded r;
        load(Loader::PNG, c.path, &r);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(nullptr, r.texture.imageData) << c.name;
        std::string expected = "src/util/texture/png_loader.cpp:";
        EXPECT_NE(std::string::npos, r.out.find(expected)) << c.name << ": " << r.out;
        EXPECT_NE(std::string::npos, r.out.find(": Failed to open/decode " + c.path + "!\n")) << c.name << ": " << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.reason)) << c.name << ": " << r.out;
        EXPECT_EQ("", r.err) << c.name;
    }
}

Bytes pngWith(const std::vector<std::pair<const char*, Bytes>>& chunks) {
    Bytes png = signature();
    for (const auto& c : chunks) chunk(png, c.first, c.second);
    return png;
}

// A few bytes of image data cannot fill 16384 x 16384 pixels (deflate gives at most
// 1032 bytes per byte): the image is refused before its gigabyte is allocated, while the
// same data under a size it can fill decodes.
TEST(PngDecoder, SizeTheDataCannotFillIsRefusedBeforeAllocating) {
    Bytes data = zlibStream(Bytes(2 * (1 + 2 * 4), 0), Block::Fixed);
    struct Case {
        uint32_t width, height;
        uint32_t outputWidth;  // 0: refused, no buffer
    } cases[] = {{16384, 16384, 0}, {16384, 1, 0}, {2, 2, 2}};
    for (const Case& c : cases) {
        Decoded d;
        std::string name = "bomb_" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".png";
        Bytes png = pngWith({{"IHDR", ihdr(c.width, c.height, 8, 6, 0)}, {"IDAT", data}, {"IEND", {}}});
        ASSERT_LT(png.size(), 100u);
        d.result = d.decoder.decode(scratchFile(name, png).c_str());
        EXPECT_EQ(1, d.result) << name;
        EXPECT_EQ(c.outputWidth, d.decoder.outputWidth()) << name;
        EXPECT_EQ(c.outputWidth == 0, d.decoder.rgba() == nullptr) << name;
    }
}

TEST(PngLoader, HostileFilesAreRefusedInOrder) {
    PngSpec s = image(6, 5, 6, 9);
    Bytes data = zlibStream(filteredData(s), Block::Dynamic);
    Bytes half(data.begin(), data.begin() + long(data.size() / 2));
    Bytes good = pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", data}, {"IEND", {}}});
    Bytes hugeChunk = signature();
    chunk(hugeChunk, "IHDR", ihdr(6, 5, 8, 6, 0));
    putBE32(hugeChunk, 0x7FFFFFF0);
    hugeChunk.insert(hugeChunk.end(), {'I', 'D', 'A', 'T'});
    hugeChunk.insert(hugeChunk.end(), data.begin(), data.end());
    Bytes maxChunk = hugeChunk;
    maxChunk[33] = maxChunk[34] = maxChunk[35] = maxChunk[36] = 0xFF;
    // A fixed block: literal 0, then a match at distance 2 with only one byte written.
    BitWriter early;
    early.out = {0x78, 0x01};
    early.bits(1, 1);
    early.bits(1, 2);
    early.code(0x30, 8);
    early.code(1, 7);
    early.code(1, 5);
    early.code(0, 7);
    early.align();
    Bytes badBlock = {0x78, 0x01, 0x07, 0x00};
    struct Case {
        const char* name;
        Bytes png;
        const char* reason = "";  // the start of what follows "Invalid texture information"
    } cases[] = {
        {"no IHDR", pngWith({{"IDAT", data}, {"IEND", {}}}), "The file has 0 IHDR chunks; a PNG file has exactly one."},
        {"two IHDR", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", data}})},
        {"short IHDR", pngWith({{"IHDR", Bytes(12, 1)}, {"IDAT", data}})},
        {"width 0", pngWith({{"IHDR", ihdr(0, 5, 8, 6, 0)}, {"IDAT", data}}), "The header gives an empty image of 0 x 5 pixels."},
        {"height 0", pngWith({{"IHDR", ihdr(6, 0, 8, 6, 0)}, {"IDAT", data}})},
        {"width 16385", pngWith({{"IHDR", ihdr(16385, 1, 8, 6, 0)}, {"IDAT", data}}), "The image is 16385 x 1 pixels; textures are at most 16384"},
        {"65536 x 65536 (byte count overflows 32 bits)", pngWith({{"IHDR", ihdr(65536, 65536, 8, 6, 0)}, {"IDAT", data}})},
        {"4294967295 x 4294967295", pngWith({{"IHDR", ihdr(0xFFFFFFFF, 0xFFFFFFFF, 8, 2, 0)}, {"IDAT", data}})},
        {"interlace method 2", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 2)}, {"IDAT", data}}), "Interlace method 2 is unknown"},
        {"grey 16 unsupported", pngWith({{"IHDR", ihdr(6, 5, 16, 0, 0)}, {"IDAT", data}}), "The image has a bit depth of 16 (colour type 0)."},
        {"colour type 5", pngWith({{"IHDR", ihdr(6, 5, 8, 5, 0)}, {"IDAT", data}}), "Colour type 5 is not a PNG colour type"},
        {"no IDAT", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IEND", {}}})},
        {"truncated data stream", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", half}}), "The image data ends before the last row of 6 x 5 pixels"},
        {"file cut inside IDAT", Bytes(good.begin(), good.end() - 30)},
        {"file cut after the signature", signature()},
        {"chunk longer than the file", hugeChunk},
        {"chunk length 4294967295", maxChunk},
        {"distance before the start", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", early.out}})},
        {"block type 3", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", badBlock}})},
        {"five rows of data for a height of 6", pngWith({{"IHDR", ihdr(6, 6, 8, 6, 0)}, {"IDAT", data}})},
    };
    for (const Case& c : cases) expectRefused(c.name, c.png, c.reason);
}

TEST(PngLoader, ToleratedOddities) {
    PngSpec s = image(6, 5, 6, 9);
    Bytes data = zlibStream(filteredData(s), Block::Dynamic);
    PngSpec taller = image(6, 7, 6, 9);  // the first five rows are those of s
    Bytes moreRows = zlibStream(filteredData(taller), Block::Dynamic);
    Bytes badCrc = pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", data}, {"IEND", {}}});
    badCrc[29] ^= 0xFF;  // IHDR CRC
    struct Case {
        const char* name;
        Bytes png;
    } cases[] = {
        {"no IEND", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", data}})},
        {"wrong CRC", badCrc},
        {"unknown chunks", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"tEXt", {'a', 0, 'b'}}, {"IDAT", data}, {"zzZZ", {}}})},
        {"rows beyond the image are ignored", pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", moreRows}})},
        {"data after IEND ignored", [&] {
             Bytes p = pngWith({{"IHDR", ihdr(6, 5, 8, 6, 0)}, {"IDAT", data}, {"IEND", {}}});
             chunk(p, "IHDR", ihdr(9, 9, 8, 6, 0));
             return p;
         }()},
    };
    for (const Case& c : cases) expectLoads(c.name, c.png, 6, 5, toRgba(s));
}

TEST(PngLoader, ReadsFromTheArchiveLikeFromDisk) {
    PngSpec s = image(5, 4, 2, 11);
    Bytes png = buildPng(s);
    // The list owns its entries (malloc'd, released by dataClearEntries).
    DataEntry* entry = static_cast<DataEntry*>(malloc(sizeof(DataEntry)));
    entry->name = strdup("data/common/fake.png");
    entry->length = int32_t(png.size());
    entry->data = static_cast<unsigned char*>(malloc(png.size()));
    memcpy(entry->data, png.data(), png.size());
    dataClearEntries();
    dataAppendEntry(entry);
    setDataMode(Archive);
    Loaded r;
    load(Loader::PNG, "data/common/fake.png", &r);
    setDataMode(Disk);
    dataClearEntries();
    ASSERT_TRUE(r.ok) << r.err << r.out;
    EXPECT_EQ("", firstDifference(flipRows(toRgba(s), 5, 4), r.pixels()));
}

}  // namespace
