// Development mode's image reload: an edited file replaces the picture in the same
// OpenGL texture; a file that does not load keeps the old picture, with its reason.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/image_io.h"
#include "support/paths.h"
#include "util/data/data.h"
#include "util/texture/texture.h"
#include "util/util/reloadable.h"

namespace {

void writeSolidPng(const std::string& path, int width, int height, unsigned char r, unsigned char g,
                   unsigned char b) {
    std::vector<unsigned char> rgba;
    for (int i = 0; i < width * height; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
    std::string error;
    ASSERT_TRUE(offline::writePng(path.c_str(), width, height, rgba.data(), width * 4, false, false, 6, &error))
        << error;
}

std::vector<unsigned char> level0(GLuint name, int* width) {
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<unsigned char> rgb(size_t(*width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

TEST(TextureReload, AnEditedImageReplacesThePictureInTheSameTexture) {
    setDataMode(Disk);
    std::string dir = testpaths::freshScratchDir("texture_reload");
    std::string path = dir + "/picture.png";
    writeSolidPng(path, 4, 4, 200, 10, 10);
    reloadable::enable();
    Texture t;
    texture::init(&t);
    testing::internal::CaptureStdout();
    texture::load(GL_NEAREST, GL_NEAREST, &t, path.c_str(), true, false);
    const GLuint name = t.name;

    writeSolidPng(path, 8, 2, 10, 200, 30);
    std::vector<std::string> failures;
    EXPECT_EQ(1, reloadable::reload(path, &failures));
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(name, t.name);
    EXPECT_EQ(8, t.width);
    EXPECT_EQ(2, t.height);
    EXPECT_EQ(GLenum(GL_CLAMP_TO_EDGE), t.wrap) << "the wrap the load asked for stays";
    int width = 0;
    std::vector<unsigned char> pixels = level0(name, &width);
    EXPECT_EQ(8, width);
    EXPECT_EQ((std::vector<unsigned char>{10, 200, 30}), std::vector<unsigned char>(pixels.begin(), pixels.begin() + 3));

    // Half a file (an editor still writing) keeps the picture and says why.
    std::string bytes = testpaths::readFile(path);
    testpaths::writeFile(path, bytes.substr(0, bytes.size() / 2));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, reloadable::reload(path, &failures));
    std::string errors = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(1u, failures.size());
    EXPECT_NE(std::string::npos, failures[0].find("Failed to load image " + path)) << failures[0];
    EXPECT_EQ(std::string::npos, errors.find("[box]")) << errors;
    EXPECT_EQ(name, t.name);
    EXPECT_EQ(8, t.width);
    EXPECT_EQ(pixels, level0(name, &width));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    reloadable::clear();
}

}  // namespace
