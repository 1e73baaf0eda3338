// Texture creation, resize and destroy under Mesa, the mipmap path, the vendor rule,
// and loading by file name: the loader chosen by the extension, the record's settings,
// the unsupported-format and failure paths.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/shaderprogram/gltest_helpers.h"
#include "util/texture/texture.h"

namespace {

const char* const kSource = "src/util/texture/texture.cpp";

GLint parameter(GLenum which) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, which, &value);
    return value;
}

GLint levelParameter(int level, GLenum which) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, which, &value);
    return value;
}

unsigned char* copyPixels(const std::vector<unsigned char>& pixels) {
    unsigned char* data = static_cast<unsigned char*>(malloc(pixels.size()));
    memcpy(data, pixels.data(), pixels.size());
    return data;
}

Texture described(int width, int height, int bitsPerPixel, const std::vector<unsigned char>& pixels) {
    Texture t;
    texture::init(&t);
    t.width = width;
    t.height = height;
    t.bitsPerPixel = bitsPerPixel;
    t.format = bitsPerPixel == 32 ? GL_RGBA : GL_RGB;
    t.imageData = pixels.empty() ? nullptr : copyPixels(pixels);
    return t;
}

std::vector<unsigned char> readBack(GLuint name, GLenum format, size_t bytes) {
    std::vector<unsigned char> out(bytes, 0xEE);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return out;
}

class TextureTest : public testing::Test {
protected:
    void SetUp() override { gltest::useThreadsafeDeathTests(); }
};

TEST(TextureRecord, InitialValues) {
    Texture t;
    memset(&t, 0x5A, sizeof t);
    texture::init(&t);
    EXPECT_EQ(nullptr, t.imageData);
    EXPECT_EQ(0, t.bitsPerPixel);
    EXPECT_EQ(0, t.width);
    EXPECT_EQ(0, t.height);
    EXPECT_EQ(0u, t.format);
    EXPECT_EQ(0u, t.name);
    EXPECT_EQ(GLenum(GL_CLAMP_TO_EDGE), t.wrap);
    EXPECT_FALSE(t.floatPixels);
    EXPECT_FALSE(t.mipmapped);
    EXPECT_EQ(GLenum(GL_LINEAR), t.minFilter);
    EXPECT_EQ(GLenum(GL_LINEAR), t.magFilter);
}

TEST(TextureExtension, LastFourCharactersInLowerCaseOrJpeg) {
    const struct {
        const char* path;
        const char* extension;
    } cases[] = {
        {"data/common/images/own_particle_256.png", ".png"}, {"PICTURE.PNG", ".png"},
        {"clown.jpg", ".jpg"},  {"clown.jpeg", ".jpeg"}, {"CLOWN.JPEG", ".jpeg"},
        {"x.JpEg", ".jpeg"},    {".jpeg", ".jpeg"},      {"a.tga", ".tga"},
        {"b.BMP", ".bmp"},      {"pic.gif", ".gif"},     {"image.webp", "webp"},
        {"jpeg", "jpeg"},       {"abc", ""},             {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases) {
        char extension[6] = "XXXXX";
        texture::imageExtension(c.path, extension);
        EXPECT_STREQ(c.extension, extension) << (c.path ? c.path : "(null)");
    }
}

TEST(TextureVendor, AtiMeansTheLowerCasedVendorContainsAtiAndABlank) {
    const struct {
        const char* vendor;
        bool ati;
    } cases[] = {
        {"ATI Technologies Inc.", true}, {"ati technologies", true}, {"Radeon by ATI ", true},
        {"Mesa", false},                 {"NVIDIA Corporation", false}, {"ATI", false},
        {"Advanced Micro Devices, Inc.", false}, {"Intel", false}, {"", false}, {nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.ati, texture::vendorIsAti(c.vendor)) << (c.vendor ? c.vendor : "(null)");
    }
}

TEST_F(TextureTest, CreateUploadsThePixelsAndReleasesThem) {
    struct Case {
        const char* name;
        int width, height, bitsPerPixel;
        GLenum minFilter, magFilter, wrap;
    };
    const Case cases[] = {
        {"RGBA 2x2 nearest clamped", 2, 2, 32, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE},
        {"RGB 3x2 (unpadded rows)", 3, 2, 24, GL_LINEAR, GL_NEAREST, GL_REPEAT},
        {"RGB 5x3", 5, 3, 24, GL_NEAREST, GL_LINEAR, GL_CLAMP_TO_EDGE},
        {"RGBA 7x1", 7, 1, 32, GL_LINEAR, GL_LINEAR, GL_REPEAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t bytes = size_t(c.width) * c.height * (c.bitsPerPixel / 8);
        std::vector<unsigned char> pixels(bytes);
        for (size_t i = 0; i < bytes; ++i) pixels[i] = static_cast<unsigned char>(i * 37 + 11);
        Texture t = described(c.width, c.height, c.bitsPerPixel, pixels);
        t.minFilter = c.minFilter;
        t.magFilter = c.magFilter;
        t.wrap = c.wrap;
        EXPECT_TRUE(texture::create(&t));
        EXPECT_EQ(nullptr, t.imageData);
        ASSERT_NE(0u, t.name);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLint(t.name), bound) << "stays bound after create";
        EXPECT_EQ(GLint(c.minFilter), parameter(GL_TEXTURE_MIN_FILTER));
        EXPECT_EQ(GLint(c.magFilter), parameter(GL_TEXTURE_MAG_FILTER));
        EXPECT_EQ(GLint(c.wrap), parameter(GL_TEXTURE_WRAP_S));
        EXPECT_EQ(GLint(c.wrap), parameter(GL_TEXTURE_WRAP_T));
        EXPECT_EQ(GL_FALSE, parameter(GL_GENERATE_MIPMAP));
        EXPECT_EQ(c.width, levelParameter(0, GL_TEXTURE_WIDTH));
        EXPECT_EQ(c.height, levelParameter(0, GL_TEXTURE_HEIGHT));
        EXPECT_EQ(pixels, readBack(t.name, t.format, bytes));
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(4, alignment) << "the unpack alignment is restored";
        texture::destroy(&t);
    }
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(TextureTest, MipmappedTexturesGetTheChainTrilinearAndFullAnisotropy) {
    const int size = 8;
    std::vector<unsigned char> pixels(size * size * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        bool odd = ((i / 4) % size + (i / 4) / size) % 2;  // checkerboard of 200 and 100
        pixels[i] = pixels[i + 1] = pixels[i + 2] = odd ? 200 : 100;
        pixels[i + 3] = 255;
    }
    Texture t = described(size, size, 32, pixels);
    t.mipmapped = true;
    t.minFilter = GL_NEAREST;  // ignored when mipmapped
    t.magFilter = GL_NEAREST;
    t.wrap = GL_REPEAT;
    texture::create(&t);
    EXPECT_EQ(nullptr, t.imageData);
    EXPECT_EQ(GL_LINEAR_MIPMAP_LINEAR, parameter(GL_TEXTURE_MIN_FILTER));
    EXPECT_EQ(GL_LINEAR, parameter(GL_TEXTURE_MAG_FILTER));
    EXPECT_EQ(GL_REPEAT, parameter(GL_TEXTURE_WRAP_S));
    GLfloat maxAnisotropy = 0, anisotropy = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_GT(maxAnisotropy, 1.0f);
    EXPECT_EQ(maxAnisotropy, anisotropy);
    // Mesa is not ATI: the chain comes from glGenerateMipmapEXT, down to 1 x 1, where
    // the checkerboard averages to 150.
    ASSERT_FALSE(texture::vendorIsAti(reinterpret_cast<const char*>(glGetString(GL_VENDOR))));
    EXPECT_EQ(4, levelParameter(1, GL_TEXTURE_WIDTH));
    EXPECT_EQ(1, levelParameter(3, GL_TEXTURE_WIDTH));
    unsigned char smallest[4] = {0, 0, 0, 0};
    glGetTexImage(GL_TEXTURE_2D, 3, GL_RGBA, GL_UNSIGNED_BYTE, smallest);
    EXPECT_NEAR(150, smallest[0], 2);
    EXPECT_EQ(255, smallest[3]);
    texture::destroy(&t);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(TextureTest, FloatPixelsAreUploadedAsFloats) {
    const float pixels[2 * 4] = {0.25f, 0.5f, 0.75f, 1.0f, 1.0f, 0.0f, 0.5f, 0.0f};
    Texture t;
    texture::init(&t);
    t.width = 2;
    t.height = 1;
    t.bitsPerPixel = 32;
    t.format = GL_RGBA;
    t.floatPixels = true;
    t.imageData = static_cast<unsigned char*>(malloc(sizeof pixels));
    memcpy(t.imageData, pixels, sizeof pixels);
    texture::create(&t);
    std::vector<unsigned char> expected = {64, 128, 191, 255, 255, 0, 128, 0};
    std::vector<unsigned char> actual = readBack(t.name, GL_RGBA, 8);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i], actual[i], 1) << i;
    texture::destroy(&t);
}

TEST_F(TextureTest, ResizeKeepsFormatFiltersAndWrapAndChangesOnlyTheSize) {
    Texture t = described(16, 16, 32, {});
    t.minFilter = GL_NEAREST;
    t.magFilter = GL_NEAREST;
    t.wrap = GL_REPEAT;
    texture::create(&t);
    const int sizes[][2] = {{32, 8}, {1, 1}, {641, 479}, {16, 16}};
    for (const auto& size : sizes) {
        texture::resize(&t, size[0], size[1]);
        ASSERT_NE(0u, t.name);
        EXPECT_EQ(size[0], t.width);
        EXPECT_EQ(size[1], t.height);
        EXPECT_EQ(GLenum(GL_RGBA), t.format);
        EXPECT_EQ(32, t.bitsPerPixel);
        glBindTexture(GL_TEXTURE_2D, t.name);
        EXPECT_EQ(size[0], levelParameter(0, GL_TEXTURE_WIDTH));
        EXPECT_EQ(size[1], levelParameter(0, GL_TEXTURE_HEIGHT));
        EXPECT_EQ(4, levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT)) << "the component count";
        EXPECT_EQ(GL_NEAREST, parameter(GL_TEXTURE_MIN_FILTER));
        EXPECT_EQ(GL_NEAREST, parameter(GL_TEXTURE_MAG_FILTER));
        EXPECT_EQ(GL_REPEAT, parameter(GL_TEXTURE_WRAP_T));
    }
    texture::destroy(&t);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(TextureTest, DestroyDeletesTheTextureAndForgetsItsName) {
    Texture t = described(4, 4, 24, std::vector<unsigned char>(48, 7));
    texture::create(&t);
    GLuint name = t.name;
    ASSERT_TRUE(glIsTexture(name));
    texture::destroy(&t);
    EXPECT_EQ(0u, t.name);
    EXPECT_FALSE(glIsTexture(name));
    texture::destroy(&t);  // nothing left to delete
    EXPECT_EQ(0u, t.name);
    EXPECT_EXIT(
        {
            glEnable(0xFFFF);
            texture::destroy(&t);
        },
        testing::ExitedWithCode(1), gltest::glErrorBox("GL_INVALID_ENUM", kSource));
}

TEST_F(TextureTest, MisusedLifecyclesEndTheProcess) {
    EXPECT_EXIT(
        {
            Texture t = described(2, 2, 32, {});
            texture::create(&t);
            texture::create(&t);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kSource, "Attempt to create an already initialized texture!"));
    EXPECT_EXIT(
        {
            Texture t = described(2, 2, 32, {});
            texture::create(&t);
            t.imageData = static_cast<unsigned char*>(malloc(16));
            texture::resize(&t, 4, 4);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kSource, "Attempted to resize a texture with current imageData"));
    EXPECT_EXIT(
        {
            Texture t = described(2, 2, 32, {});
            texture::resize(&t, 4, 4);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kSource, "Attempted to resize a texture that is not initialized!"));
    // A refused upload is caught where it happened.
    EXPECT_EXIT(
        {
            Texture t = described(-3, 2, 32, {});
            texture::create(&t);
        },
        testing::ExitedWithCode(1), gltest::glErrorBox("GL_INVALID_VALUE", kSource));
}

}  // namespace

namespace {

const char* const kLoadSource = "src/util/texture/texture_load.cpp";

std::string le16(unsigned v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// 2 x 2 uncompressed 24-bit TGA, rows bottom first, BGR.
std::string tga2x2() {
    std::string header = std::string{0, 0, 2} + std::string(5, '\0') + le16(0) + le16(0) + le16(2) +
                         le16(2) + std::string{24, 0};
    return header + std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12);
}

// 3 x 2 24-bit bottom-up BMP: rows of 9 bytes padded to 12.
std::string bmp3x2() {
    std::string row(12, '\0');
    for (int i = 0; i < 9; ++i) row[i] = char(i * 20 + 5);
    std::string pixels = row + row;
    std::string info = le32(40) + le32(3) + le32(2) + le16(1) + le16(24) + le32(0) +
                       le32(unsigned(pixels.size())) + le32(2835) + le32(2835) + le32(0) + le32(0);
    std::string file = "BM" + le32(unsigned(14 + info.size() + pixels.size())) + le32(0) + le32(54);
    return file + info + pixels;
}

// A 4 x 2 RGB JPEG made by libjpeg.
std::string jpeg4x2() {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 4;
    cinfo.image_height = 2;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    unsigned char row[12];
    for (int i = 0; i < 12; ++i) row[i] = 200;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return out;
}

class TextureLoadTest : public testing::Test {
protected:
    void SetUp() override {
        gltest::useThreadsafeDeathTests();
        dir_ = testpaths::freshScratchDir(std::string("texture_load_") +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string file(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        testpaths::writeFile(path, bytes);
        return path;
    }
    std::string dir_;
};

TEST_F(TextureLoadTest, EachExtensionInAnyCaseReachesItsLoader) {
    const std::vector<unsigned char> rgba(2 * 2 * 4, 77);
    struct Case {
        std::string name;
        std::string bytes;
        int width, height;
    };
    const Case cases[] = {
        {"a.png", gltest::rgbaPng(2, 2, rgba), 2, 2},  {"B.PNG", gltest::rgbaPng(2, 2, rgba), 2, 2},
        {"c.tga", tga2x2(), 2, 2},                     {"D.TGA", tga2x2(), 2, 2},
        {"e.bmp", bmp3x2(), 3, 2},                     {"f.Bmp", bmp3x2(), 3, 2},
        {"g.jpg", jpeg4x2(), 4, 2},                    {"h.jpeg", jpeg4x2(), 4, 2},
        {"i.JPEG", jpeg4x2(), 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Texture t;
        texture::init(&t);
        std::string path = file(c.name, c.bytes);
        EXPECT_TRUE(texture::load(GL_NEAREST, GL_LINEAR, &t, path.c_str(), false, false));
        EXPECT_EQ(nullptr, t.imageData);
        ASSERT_NE(0u, t.name);
        EXPECT_EQ(c.width, t.width);
        EXPECT_EQ(c.height, t.height);
        GLint value = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
        EXPECT_EQ(c.width, value);
        texture::destroy(&t);
    }
}

TEST_F(TextureLoadTest, LoadStoresTheFiltersMipmapFlagAndWrapMode) {
    const std::vector<unsigned char> rgba(4 * 4 * 4, 200);
    std::string path = file("p.png", gltest::rgbaPng(4, 4, rgba));
    struct Case {
        GLenum minFilter, magFilter;
        bool mipmapped, repeat;
        GLint glMin, glMag, glWrap;
    };
    const Case cases[] = {
        {GL_NEAREST, GL_NEAREST, false, false, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE},
        {GL_LINEAR, GL_LINEAR, true, true, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT},
        {GL_NEAREST, GL_LINEAR, false, true, GL_NEAREST, GL_LINEAR, GL_REPEAT},
    };
    for (const Case& c : cases) {
        Texture t;
        texture::init(&t);
        t.floatPixels = true;  // cleared by load
        texture::load(c.minFilter, c.magFilter, &t, path.c_str(), c.mipmapped, c.repeat);
        EXPECT_FALSE(t.floatPixels);
        EXPECT_EQ(c.mipmapped, t.mipmapped);
        EXPECT_EQ(c.minFilter, t.minFilter);
        EXPECT_EQ(c.magFilter, t.magFilter);
        EXPECT_EQ(GLenum(c.glWrap), t.wrap);
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(c.glMin, value);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(c.glMag, value);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
        EXPECT_EQ(c.glWrap, value);
        texture::destroy(&t);
    }
}

TEST_F(TextureLoadTest, UnsupportedFormatsShowTheBoxThenEndWithTheLoadError) {
    struct Case {
        std::string name;
        std::string extension;
    };
    const Case cases[] = {{"pic.gif", ".gif"}, {"pic.GIF", ".gif"}, {"image.webp", "webp"}, {"ab", ""}};
    for (const Case& c : cases) {
        std::string path = c.name == "ab" ? "ab" : file(c.name, "GIF89a");
        EXPECT_EXIT(
            {
                Texture t;
                texture::init(&t);
                texture::load(GL_LINEAR, GL_LINEAR, &t, path.c_str(), false, false);
            },
            testing::ExitedWithCode(1),
            "\\[box\\] Unsupported image format! \\| " +
                gltest::re("Sorry, image format " + c.extension + " is not yet supported.\nTry .tga or .png.") +
                "\n.*" + gltest::fatalBox(kLoadSource, "Failed to load image ") +
                (c.name == "ab" ? "" : ".*/") + gltest::re(c.name + "!"));
    }
}

TEST_F(TextureLoadTest, AFailedLoaderEndsWithTheLoadErrorNamingThePath) {
    std::string missing = dir_ + "/missing.png";
    EXPECT_EXIT(
        {
            Texture t;
            texture::init(&t);
            texture::load(GL_LINEAR, GL_LINEAR, &t, missing.c_str(), false, false);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kLoadSource, "Failed to load image ") + ".*/missing\\.png!");
}

TEST_F(TextureLoadTest, LoadingIntoACreatedTextureEndsAfterDecoding) {
    std::string path = file("twice.png", gltest::rgbaPng(2, 2, std::vector<unsigned char>(16, 1)));
    EXPECT_EXIT(
        {
            Texture t;
            texture::init(&t);
            texture::load(GL_LINEAR, GL_LINEAR, &t, path.c_str(), false, false);
            texture::load(GL_LINEAR, GL_LINEAR, &t, path.c_str(), false, false);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox("src/util/texture/texture.cpp", "Attempt to create an already initialized texture!"));
}

}  // namespace
