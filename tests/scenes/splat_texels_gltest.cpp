// The stamps' texels as the GL samples them: each square's texels equal what a quad of
// that square, drawn on its own with the same texture, shows at each pixel (red and
// alpha), over enough squares to fill the atlas more than once; the GL's state is left
// as it was; a square larger than the atlas is refused.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scenes/scene/splat_texels.h"

namespace {

constexpr int kSide = 64;

// A mipmapped texture whose red rises to the right and alpha upwards, so that a flip,
// an offset or a wrong level shows in either channel.
GLuint gradientTexture() {
    std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
            p[0] = uint8_t(x * 4);
            p[1] = p[2] = 0;
            p[3] = uint8_t(255 - y * 3 - (x & 7));
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSide, kSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

// The square drawn alone as a textured quad into an RGBA8 target the stamp's size, at
// its phase, the texel replacing the colour: the stamp's pixels, 8 bits each.
std::vector<uint8_t> drawnAlone(GLuint texture, const StampSquare& s) {
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    GLuint target = 0, fbo = 0;
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, s.width, s.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffersEXT(1, &fbo);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, target, 0);
    glViewport(0, 0, s.width, s.height);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, s.width, 0, s.height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(s.fx, s.fy);
    glTexCoord2f(1, 0);
    glVertex2f(s.fx + s.edge, s.fy);
    glTexCoord2f(1, 1);
    glVertex2f(s.fx + s.edge, s.fy + s.edge);
    glTexCoord2f(0, 1);
    glVertex2f(s.fx, s.fy + s.edge);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    std::vector<uint8_t> pixels(size_t(s.width) * s.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, s.width, s.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(bound));
    glDeleteFramebuffersEXT(1, &fbo);
    glDeleteTextures(1, &target);
    return pixels;
}

TEST(SplatTexels, EachSquaresTexelsAreWhatItsQuadShowsAndTheStateIsKept) {
    const GLuint texture = gradientTexture();
    // 700 stamps of 41 pixels fill the 1024 x 1024 atlas once and part of a second time.
    std::vector<StampSquare> squares;
    for (int i = 0; i < 700; ++i) {
        const float fx = float(i % 8) / 8.0f, fy = float(i / 8 % 8) / 8.0f;
        squares.push_back({39.25f, fx, fy, 41, 41});
    }
    squares[1] = {5.5f, 0.375f, 0.0f, 6, 6};
    squares[2] = {12.0f, 0.0f, 0.875f, 12, 13};

    GLint viewport[4], binding = 0;
    glViewport(3, 4, 200, 100);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
    std::vector<std::vector<float>> texels;
    ASSERT_TRUE(renderStampTexels(texture, squares, &texels)) << "llvmpipe renders floats";
    ASSERT_EQ(squares.size(), texels.size());
    GLint after[4], program = -1, bindingAfter = -1;
    glGetIntegerv(GL_VIEWPORT, after);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bindingAfter);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(viewport[c], after[c]);
    EXPECT_EQ(0, program);
    EXPECT_EQ(binding, bindingAfter);

    for (size_t i : {size_t(0), size_t(1), size_t(2), size_t(517), squares.size() - 1}) {
        const StampSquare& s = squares[i];
        ASSERT_EQ(size_t(s.width) * s.height * 2, texels[i].size());
        const std::vector<uint8_t> alone = drawnAlone(texture, s);
        int worst = 0;
        for (int j = 0; j < s.height; ++j)
            for (int k = 0; k < s.width; ++k) {
                const uint8_t* p = &alone[(size_t(j) * s.width + k) * 4];
                // Pixels whose centre the quad does not cover are not drawn alone.
                const float x = float(k) + 0.5f, y = float(j) + 0.5f;
                if (x < s.fx || x >= s.fx + s.edge || y < s.fy || y >= s.fy + s.edge) continue;
                const float* t = &texels[i][(size_t(j) * s.width + k) * 2];
                worst = std::max(worst, std::abs(int(std::lround(t[0] * 255.0f)) - int(p[0])));
                worst = std::max(worst, std::abs(int(std::lround(t[1] * 255.0f)) - int(p[3])));
            }
        EXPECT_LE(worst, 1) << "square " << i << ": " << s.edge << " px at (" << s.fx << ", " << s.fy << ")";
    }
    // A square the atlas cannot hold is refused, not waited on.
    EXPECT_FALSE(renderStampTexels(texture, {{1100.0f, 0.0f, 0.0f, 1100, 1100}}, &texels));
    EXPECT_TRUE(texels.empty());
    glDeleteTextures(1, &texture);
}

}  // namespace
