#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>

#include "util/texture/image_test_support.h"
#include "util/texture/jpg_loader.h"
#include "util/texture/loader_image.h"

namespace {

using namespace imgtest;

// Compresses width x height pixels (components 3 or 1, rows top first) at quality 100.
Bytes compressJpeg(int width, int height, int components, const Bytes& pixels) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int i = 0; i < info.num_components; ++i) {  // no chroma subsampling: sharp edges
        info.comp_info[i].h_samp_factor = 1;
        info.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(&pixels[size_t(info.next_scanline) * size_t(width * components)]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes file(out, out + size);
    jpeg_destroy_compress(&info);
    free(out);
    return file;
}

// Top half red, bottom half blue (colour), or top 40, bottom 220 (grey); 16 x 16.
Bytes halves(int components) {
    Bytes p;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (components == 1) {
                p.push_back(y < 8 ? 40 : 220);
            } else if (y < 8) {
                p.insert(p.end(), {230, 20, 20});
            } else {
                p.insert(p.end(), {20, 20, 230});
            }
        }
    return p;
}

bool near(int expected, int actual) { return actual >= expected - 6 && actual <= expected + 6; }

TEST(JpgLoader, LoadsAsOpaqueRgbaBottomRowFirst) {
    struct Case {
        const char* name;
        int components;
        int bottom[3], top[3];  // expected picture colours, within 6
    } cases[] = {
        {"colour", 3, {20, 20, 230}, {230, 20, 20}},
        {"grey", 1, {220, 220, 220}, {40, 40, 40}},
    };
    for (const Case& c : cases) {
        Loaded r;
        load(Loader::JPG, scratchFile("halves.jpg", compressJpeg(16, 16, c.components, halves(c.components))), &r);
        ASSERT_TRUE(r.ok) << c.name << r.out << r.err;
        EXPECT_EQ(16, r.texture.width) << c.name;
        EXPECT_EQ(16, r.texture.height) << c.name;
        EXPECT_EQ(32, r.texture.bitsPerPixel) << c.name;
        EXPECT_EQ(GLenum(GL_RGBA), r.texture.format) << c.name;
        Bytes px = r.pixels();
        int wrong = 0;
        for (int row = 0; row < 16; ++row)
            for (int x = 0; x < 16; ++x) {
                const uint8_t* p = &px[size_t(row * 16 + x) * 4];
                const int* want = row < 8 ? c.bottom : c.top;  // buffer row 0 is the picture's bottom
                if (!near(want[0], p[0]) || !near(want[1], p[1]) || !near(want[2], p[2]) || p[3] != 255) {
                    if (wrong++ == 0)
                        ADD_FAILURE() << c.name << ": buffer row " << row << " x " << x << " expected about "
                                      << want[0] << " " << want[1] << " " << want[2] << " 255, got " << int(p[0])
                                      << " " << int(p[1]) << " " << int(p[2]) << " " << int(p[3]);
                }
            }
        EXPECT_EQ(0, wrong) << c.name;
    }
}

TEST(JpgLoader, GreyReaderAveragesTheColours) {
    std::string path = scratchFile("colour.jpg", compressJpeg(16, 16, 3, halves(3)));
    LoaderImage grey(1);
    ASSERT_TRUE(readJPG(&grey, path.c_str()));
    ASSERT_EQ(16, grey.width());
    // libjpeg's own luminance of (230, 20, 20) and (20, 20, 230): 0.299 R + 0.587 G + 0.114 B.
    EXPECT_TRUE(near(83, grey.storedChannel(3, 2, 0))) << grey.storedChannel(3, 2, 0);
    EXPECT_TRUE(near(44, grey.storedChannel(3, 13, 0))) << grey.storedChannel(3, 13, 0);
}

TEST(JpgLoader, MissingFileLogsAndFails) {
    Loaded r;
    load(Loader::JPG, "no/such/picture.jpg", &r);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(nullptr, r.texture.imageData);
    EXPECT_NE(std::string::npos, r.out.find("Failed reading no/such/picture.jpg\n")) << r.out;
}

TEST(JpgLoaderDeathTest, ACorruptJpegEndsWithLibjpegsMessageInTheFatalBox) {
    struct Case {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, "Not a JPEG file"},
        {"empty", {}, "Empty input file"},
    };
    for (const Case& c : cases) {
        std::string path = scratchFile("corrupt.jpg", c.file);
        std::string pattern = std::string("\\[box\\] Error in file src/util/texture/jpg_loader.cpp:[0-9]+ \\| .*") +
                              "Could not decode JPEG .*corrupt.jpg: " + c.message;
        EXPECT_EXIT(
            {
                Texture t{};
                loadJPG(path.c_str(), &t);
            },
            testing::ExitedWithCode(1), pattern)
            << c.name;
    }
}

}  // namespace
