#include <gtest/gtest.h>

#include "util/texture/bmp_loader.h"
#include "util/texture/image_test_support.h"
#include "util/texture/loader_image.h"

namespace {

using namespace imgtest;

Bytes tgaHeader(int type, int width, int height, int bits) {
    Bytes h{0, 0, uint8_t(type), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    putLE16(h, uint32_t(width));
    putLE16(h, uint32_t(height));
    h.push_back(uint8_t(bits));
    h.push_back(0);
    return h;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(TgaLoader, LoadsUncompressedAndRunLengthImages) {
    // File pixels are B, G, R (, A); rows in file order.
    Bytes twoByTwo = cat(tgaHeader(2, 2, 2, 24), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    Bytes withAlpha = cat(tgaHeader(2, 1, 2, 32), {1, 2, 3, 4, 5, 6, 7, 8});
    // Run of 3 (header 130) then raw packet of 2 (header 1), 24-bit, 5 x 1.
    Bytes rle24 = cat(tgaHeader(10, 5, 1, 24), {130, 10, 20, 30, 1, 1, 2, 3, 4, 5, 6});
    // Exactly filling: raw 1, run 2, over two rows of 32-bit pixels.
    Bytes rle32 = cat(tgaHeader(10, 3, 1, 32), {0, 1, 2, 3, 4, 129, 9, 8, 7, 6});
    // Image descriptor bit 5: the file's first row is the top row; bit 4: rows run right
    // to left. The texture always gets the bottom row first, left to right.
    auto withDescriptor = [](Bytes file, uint8_t descriptor) {
        file[17] = descriptor;
        return file;
    };
    struct Case {
        const char* name;
        Bytes file;
        int width, height, bits;
        Bytes expected;
    } cases[] = {
        {"2x2 uncompressed 24-bit", twoByTwo, 2, 2, 24, {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
        {"top-left origin", withDescriptor(twoByTwo, 0x20), 2, 2, 24, {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}},
        {"right to left", withDescriptor(twoByTwo, 0x10), 2, 2, 24, {6, 5, 4, 3, 2, 1, 12, 11, 10, 9, 8, 7}},
        {"top right origin", withDescriptor(twoByTwo, 0x30), 2, 2, 24, {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"alpha bits and reserved bits ignored", withDescriptor(twoByTwo, 0xC8), 2, 2, 24,
         {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
        {"RLE right to left", withDescriptor(rle24, 0x10), 5, 1, 24, {6, 5, 4, 3, 2, 1, 30, 20, 10, 30, 20, 10, 30, 20, 10}},
        {"RLE 32-bit top-left origin", withDescriptor(cat(tgaHeader(10, 1, 3, 32), {0, 1, 2, 3, 4, 129, 9, 8, 7, 6}), 0x20),
         1, 3, 32, {7, 8, 9, 6, 7, 8, 9, 6, 3, 2, 1, 4}},
        {"uncompressed 32-bit keeps alpha", withAlpha, 1, 2, 32, {3, 2, 1, 4, 7, 6, 5, 8}},
        {"run then raw", rle24, 5, 1, 24, {30, 20, 10, 30, 20, 10, 30, 20, 10, 3, 2, 1, 6, 5, 4}},
        {"32-bit raw then run", rle32, 3, 1, 32, {3, 2, 1, 4, 7, 8, 9, 6, 7, 8, 9, 6}},
    };
    for (const Case& c : cases) {
        Loaded r;
        load(Loader::TGA, scratchFile("ok.tga", c.file), &r);
        ASSERT_TRUE(r.ok) << c.name << "\n" << r.err;
        EXPECT_EQ(c.width, r.texture.width) << c.name;
        EXPECT_EQ(c.height, r.texture.height) << c.name;
        EXPECT_EQ(c.bits, r.texture.bitsPerPixel) << c.name;
        EXPECT_EQ(GLenum(c.bits == 24 ? GL_RGB : GL_RGBA), r.texture.format) << c.name;
        EXPECT_EQ("", firstDifference(c.expected, r.pixels(), size_t(c.bits / 8))) << c.name;
        EXPECT_EQ("", r.err) << c.name;
    }
}

TEST(TgaLoader, EveryRefusalShowsItsBox) {
    const std::string invalid = "[box] ERROR at src/util/texture/tga_loader.cpp:";
    Bytes withId = cat(tgaHeader(2, 1, 1, 24), {1, 2, 3});
    withId[0] = 4;
    Bytes colourMap = cat(tgaHeader(2, 1, 1, 24), {1, 2, 3});
    colourMap[1] = 1;
    Bytes origin = cat(tgaHeader(2, 1, 1, 24), {1, 2, 3});
    origin[8] = 5;
    Bytes rleOrigin = cat(tgaHeader(10, 1, 1, 24), {128, 1, 2, 3});
    rleOrigin[10] = 1;
    struct Case {
        const char* name;
        Bytes file;  // empty name below: no file at all
        std::string record;
    } cases[] = {
        {"no file", {}, "[box] ERROR | Could not open texture file"},
        {"5 bytes", {0, 0, 2, 0, 0}, "[box] ERROR | Could not read file header"},
        {"image ID field", withId, "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has an image ID field of 4 bytes. The loader takes"},
        {"colour map", colourMap, "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has a colour map (map type 1, 0 entries)."},
        {"non-zero origin", origin, "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has an origin of (5, 0)."},
        {"RLE with origin", rleOrigin, "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has an origin of (0, 1)."},
        {"type 1 with its colour map", cat(Bytes{2, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0}, {1}),
         "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has image type 1 (colour-mapped), an image "
         "ID field of 2 bytes, a colour map (map type 1, 2 entries)."},
        {"type 3 (grey)", cat(tgaHeader(3, 1, 1, 8), {1}),
         "[box] Invalid Image | TGA file be type 2 or type 10 \\n\\nThis file has image type 3 (greyscale)."},
        {"header only", Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1}, "[box] ERROR | Could not read info header"},
        {"16-bit", cat(tgaHeader(2, 1, 1, 16), {1, 2}), "| Invalid texture information\\n\\nThe image has 16 bits per pixel. The loader takes 24- or 32-bit"},
        {"16-bit RLE", cat(tgaHeader(10, 1, 1, 16), {128, 1, 2}), invalid},
        {"width 0", tgaHeader(2, 0, 4, 24), invalid},
        {"height 0", tgaHeader(10, 4, 0, 32), invalid},
        {"width 20000", tgaHeader(2, 20000, 1, 24), "| Invalid texture information\\n\\nThe image is 20000 x 1 pixels."},
        {"65535 x 65535 RLE", tgaHeader(10, 65535, 65535, 32), invalid},
        {"pixel data short", cat(tgaHeader(2, 2, 2, 24), {1, 2, 3, 4, 5}), "[box] ERROR | Could not read image data"},
        {"RLE header missing", cat(tgaHeader(10, 2, 1, 24), {128, 1, 2, 3}), "[box] ERROR | Could not read RLE header"},
        {"RLE raw pixel short", cat(tgaHeader(10, 2, 1, 24), {1, 1, 2, 3, 4}), "[box] ERROR | Could not read image data"},
        {"RLE run pixel short", cat(tgaHeader(10, 2, 1, 24), {129, 1, 2}), "[box] ERROR | Could not read from file"},
        {"RLE last run too long", cat(tgaHeader(10, 3, 1, 24), {128, 1, 2, 3, 130, 4, 5, 6}),
         "[box] ERROR | Too many pixels read"},
        {"RLE raw packet too long", cat(tgaHeader(10, 2, 2, 24), {4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3, 4, 5, 6}),
         "[box] ERROR | Too many pixels read"},
        {"RLE 128-pixel run into 1 pixel", cat(tgaHeader(10, 1, 1, 32), {255, 1, 2, 3, 4}),
         "[box] ERROR | Too many pixels read"},
    };
    for (const Case& c : cases) {
        std::string path = c.file.empty() ? scratchFile("none", {}) + ".missing.tga" : scratchFile("bad.tga", c.file);
        Loaded r;
        load(Loader::TGA, path, &r);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(nullptr, r.texture.imageData) << c.name;
        EXPECT_NE(std::string::npos, r.err.find(c.record)) << c.name << "\nexpected " << c.record << "\ngot " << r.err;
        if (c.record == invalid) {
            EXPECT_NE(std::string::npos, r.err.find("| Invalid texture information\\n\\nThe image ")) << c.name << r.err;
        }
    }
}

struct BmpFields {
    int32_t width = 3, height = 2;
    int bitCount = 24;
    int32_t compression = 0;
    int32_t imageSize = -1;  // -1: rows padded to 4 bytes
    int32_t coloursUsed = 0, important = 0;
    uint32_t offset = 54;
    int cut = 0;    // bytes dropped from the end
    int extra = 0;  // bytes added at the end (the 44-byte info block reads into the pixels)
};

// A BMP with pixel (x, y of the picture, 0 = top) = B x*10+1, G y*10+2, R 200.
Bytes makeBmp(const BmpFields& f) {
    int32_t rows = f.height < 0 ? -f.height : f.height;
    int32_t rowBytes = (f.width * 3 + 3) / 4 * 4;
    int32_t size = f.imageSize >= 0 ? f.imageSize : rowBytes * rows;
    Bytes b{'B', 'M'};
    putLE32(b, uint32_t(54 + rowBytes * rows));
    putLE32(b, 0);
    putLE32(b, f.offset);
    putLE32(b, 40);
    putLE32(b, uint32_t(f.width));
    putLE32(b, uint32_t(f.height));
    putLE16(b, 1);
    putLE16(b, uint32_t(f.bitCount));
    putLE32(b, uint32_t(f.compression));
    putLE32(b, uint32_t(size));
    putLE32(b, 2835);
    putLE32(b, 2835);
    putLE32(b, uint32_t(f.coloursUsed));
    putLE32(b, uint32_t(f.important));
    while (b.size() < f.offset) b.push_back(0);
    for (int32_t fileRow = 0; fileRow < rows; ++fileRow) {
        int32_t y = rows - 1 - fileRow;  // bottom-up
        for (int32_t x = 0; x < f.width; ++x) b.insert(b.end(), {uint8_t(x * 10 + 1), uint8_t(y * 10 + 2), 200});
        for (int32_t p = f.width * 3; p < rowBytes; ++p) b.push_back(0xEE);
    }
    b.resize(b.size() - size_t(f.cut) + size_t(f.extra));
    return b;
}

TEST(BmpLoader, Width3RowsSkipTheirPaddingAndLoadAsOpaqueRgba) {
    struct Case {
        const char* name;
        BmpFields fields;
    } cases[] = {
        {"3 x 2, rows padded to 12 bytes", {}},
        {"1 x 1", [] { BmpFields f; f.width = 1; f.height = 1; return f; }()},
        {"4 x 3, no padding", [] { BmpFields f; f.width = 4; f.height = 3; return f; }()},
        {"5 x 4 with colours used set", [] { BmpFields f; f.width = 5; f.height = 4; f.coloursUsed = 7; return f; }()},
        {"pixels at offset 70", [] { BmpFields f; f.offset = 70; return f; }()},
    };
    for (const Case& c : cases) {
        Loaded r;
        load(Loader::BMP, scratchFile("ok.bmp", makeBmp(c.fields)), &r);
        ASSERT_TRUE(r.ok) << c.name << "\n" << r.out;
        EXPECT_EQ(c.fields.width, r.texture.width) << c.name;
        EXPECT_EQ(c.fields.height, r.texture.height) << c.name;
        EXPECT_EQ(32, r.texture.bitsPerPixel) << c.name;
        EXPECT_EQ(GLenum(GL_RGBA), r.texture.format) << c.name;
        Bytes expected;  // bottom row first
        for (int32_t y = c.fields.height - 1; y >= 0; --y)
            for (int32_t x = 0; x < c.fields.width; ++x)
                expected.insert(expected.end(), {200, uint8_t(y * 10 + 2), uint8_t(x * 10 + 1), 255});
        EXPECT_EQ("", firstDifference(expected, r.pixels())) << c.name;
    }
}

TEST(BmpLoader, ResultCodesAndTheirLogLine) {
    auto with = [](auto change) {
        BmpFields f;
        change(f);
        return makeBmp(f);
    };
    // An OS/2 bitmap: 12-byte header with 16-bit width and height.
    Bytes os2{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0, 1, 2, 3, 0};
    struct Case {
        const char* name;
        Bytes file;
        int result;
        const char* why;  // the log line after "Failed reading"
    } cases[] = {
        {"8 bits per pixel", with([](BmpFields& f) { f.bitCount = 8; }), BmpUnsupported,
         "The bitmap has 8 bits per pixel. The BMP loader takes 24-bit uncompressed bottom-up bitmaps"},
        {"32 bits per pixel", with([](BmpFields& f) { f.bitCount = 32; }), BmpUnsupported,
         "The bitmap has 32 bits per pixel."},
        {"run-length compressed", with([](BmpFields& f) { f.compression = 1; }), BmpUnsupported,
         "The bitmap uses compression 1 (BI_RLE8, run-length)."},
        {"bit fields", with([](BmpFields& f) { f.compression = 3; }), BmpUnsupported,
         "The bitmap uses compression 3 (BI_BITFIELDS, colour masks)."},
        {"colours used and important", with([](BmpFields& f) { f.coloursUsed = 2; f.important = 2; }), BmpUnsupported,
         "The bitmap sets both colours used (2) and important colours (2)."},
        {"top-down", with([](BmpFields& f) { f.height = -2; }), BmpUnsupported,
         "The bitmap stores its rows top-down (height -2)."},
        {"image size 0", with([](BmpFields& f) { f.imageSize = 0; }), BmpUnsupported,
         "The bitmap's image size field is 0, so the loader cannot tell its row padding."},
        {"image size below the pixels", with([](BmpFields& f) { f.imageSize = 10; }), BmpUnsupported,
         "The bitmap's image size field (10 bytes) is smaller than its 3 x 2 pixels of 3 bytes."},
        {"OS/2 header", os2, BmpUnsupported, "The bitmap has an OS/2 info header of 12 bytes."},
        {"negative width", with([](BmpFields& f) { f.width = -3; f.imageSize = 24; }), BmpUnsupported,
         "The bitmap is -3 x 2 pixels; the loader takes 0 to 16384 pixels in either direction."},
        {"width 20000", with([](BmpFields& f) { f.width = 20000; f.height = 1; f.cut = 59990; }), BmpUnsupported,
         "The bitmap is 20000 x 1 pixels"},
        {"empty file", {}, BmpEndedEarly, "The file is shorter than the 14-byte BMP file header."},
        {"file header only", Bytes(14, 0), BmpEndedEarly, "The file ends within the BMP info header (14 bytes)."},
        {"last pixel byte missing", with([](BmpFields& f) { f.cut = 4; }), BmpEndedEarly,
         "The file ends within the pixel data, at pixel 2 of picture row 0 (truncated file?)."},
        {"half the pixels", with([](BmpFields& f) { f.width = 8; f.height = 8; f.cut = 100; }), BmpEndedEarly,
         "The file ends within the pixel data"},
        {"pixel offset beyond the file", with([](BmpFields& f) { f.offset = 5000; f.cut = 4000; }), BmpEndedEarly,
         "The file ends within the pixel data, at pixel 0 of picture row 1"},
    };
    for (const Case& c : cases) {
        std::string path = scratchFile("bad.bmp", c.file);
        LoaderImage image(3);
        EXPECT_EQ(c.result, readBMP(path.c_str(), &image)) << c.name;
        Loaded r;
        load(Loader::BMP, path, &r);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(nullptr, r.texture.imageData) << c.name;
        EXPECT_NE(std::string::npos, r.out.find("Failed reading " + path + "\n")) << c.name << ": " << r.out;
        EXPECT_NE(std::string::npos, r.out.find("  " + std::string(c.why))) << c.name << ": " << r.out;
    }
    LoaderImage image(3);
    EXPECT_EQ(BmpCannotOpen, readBMP("no/such/file.bmp", &image));
}

TEST(BmpLoader, AnEmptyPictureShowsTheInvalidInformationBox) {
    struct Case {
        const char* name;
        int32_t width, height, imageSize;
    } cases[] = {{"width 0", 0, 2, 8}, {"height 0", 3, 0, 12}};
    for (const Case& c : cases) {
        BmpFields f;
        f.width = c.width;
        f.height = c.height;
        f.imageSize = c.imageSize;
        f.extra = 4;
        Loaded r;
        load(Loader::BMP, scratchFile("empty.bmp", makeBmp(f)), &r);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(nullptr, r.texture.imageData) << c.name;
        EXPECT_NE(std::string::npos, r.err.find("[box] ERROR at src/util/texture/bmp_loader.cpp:")) << c.name << r.err;
        EXPECT_NE(std::string::npos, r.err.find("| Invalid texture information\\n\\nThe picture is " + std::to_string(c.width) +
                                               " x " + std::to_string(c.height) + " pixels: empty.\n"))
            << c.name << r.err;
    }
}

TEST(LoaderImage, StoresRedBlueGreenAndConvertsBottomRowFirst) {
    LoaderImage colour(3);
    ASSERT_TRUE(colour.setSize(2, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) colour.setPixel(x, y, 10 * y + x, 100 + y, 200 + x);
    colour.setPixel(-1, 0, 1, 1, 1);  // outside: nothing
    colour.setPixel(2, 0, 1, 1, 1);
    colour.setPixel(0, 3, 1, 1, 1);
    struct Stored {
        int x, y, channel, expected;
    } stored[] = {
        {0, 0, 0, 0}, {0, 0, 1, 200}, {0, 0, 2, 100}, {1, 2, 0, 21}, {1, 2, 1, 201}, {1, 2, 2, 102}, {2, 0, 0, -1},
    };
    for (const Stored& s : stored)
        EXPECT_EQ(s.expected, colour.storedChannel(s.x, s.y, s.channel)) << s.x << "," << s.y << " channel " << s.channel;
    unsigned char* rgba = colour.toRGBA();
    ASSERT_NE(nullptr, rgba);
    Bytes expected{20, 102, 200, 255, 21, 102, 201, 255, 10, 101, 200, 255, 11, 101, 201, 255,
                   0,  100, 200, 255, 1,  100, 201, 255};
    EXPECT_EQ("", firstDifference(expected, Bytes(rgba, rgba + 24)));
    free(rgba);

    LoaderImage grey(1);
    ASSERT_TRUE(grey.setSize(3, 1));
    struct GreyCase {
        int r, g, b, expected;
    } greys[] = {{10, 20, 30, 20}, {255, 0, 0, 127}, {7, 7, 7, 7}};
    for (int x = 0; x < 3; ++x) grey.setPixel(x, 0, greys[x].r, greys[x].g, greys[x].b);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(greys[x].expected, grey.storedChannel(x, 0, 0)) << "grey " << x;
    rgba = grey.toRGBA();
    ASSERT_NE(nullptr, rgba);
    EXPECT_EQ("", firstDifference({20, 20, 20, 255, 127, 127, 127, 255, 7, 7, 7, 255}, Bytes(rgba, rgba + 12)));
    free(rgba);

    LoaderImage empty(3);
    EXPECT_FALSE(empty.setSize(-1, 4));
    EXPECT_EQ(nullptr, empty.toRGBA());
}

}  // namespace
