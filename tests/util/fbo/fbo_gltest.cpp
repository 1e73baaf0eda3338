// The framebuffer object under Mesa: construction, resize with and without
// non-power-of-two textures, and its fatal paths.
#include "util/fbo/fbo.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "util/shaderprogram/gltest_helpers.h"

namespace {

const char* const kSource = "src/util/fbo/fbo.cpp";

GLint boundFramebuffer() {
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    return bound;
}

GLint textureLevelSize(GLuint name, GLenum which) {
    GLint saved = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved);
    glBindTexture(GL_TEXTURE_2D, name);
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, which, &value);
    glBindTexture(GL_TEXTURE_2D, GLuint(saved));
    return value;
}

// Checks that the target is complete and every attachment has the Fbo's size.
void expectConsistent(const Fbo& fbo) {
    GLint window = boundFramebuffer();
    EXPECT_EQ(GLint(fbo.windowFramebuffer), window) << "the window's framebuffer is bound again";
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebuffer);
    EXPECT_EQ(GLenum(GL_FRAMEBUFFER_COMPLETE_EXT), glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT));
    GLint object = 0;
    glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &object);
    EXPECT_EQ(GLint(fbo.depthBuffer), object);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, fbo.depthBuffer);
    GLint w = 0, h = 0;
    glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_WIDTH_EXT, &w);
    glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_HEIGHT_EXT, &h);
    EXPECT_EQ(fbo.width, w);
    EXPECT_EQ(fbo.height, h);
    for (size_t i = 0; i < fbo.colorAttachments.size(); ++i) {
        const Texture* t = fbo.colorAttachments[i];
        glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GLenum(GL_COLOR_ATTACHMENT0_EXT + i),
                                                 GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &object);
        EXPECT_EQ(GLint(t->name), object) << "attachment " << i;
        EXPECT_EQ(fbo.width, t->width);
        EXPECT_EQ(fbo.height, t->height);
        EXPECT_EQ(fbo.width, textureLevelSize(t->name, GL_TEXTURE_WIDTH));
        EXPECT_EQ(fbo.height, textureLevelSize(t->name, GL_TEXTURE_HEIGHT));
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(window));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

class FboTest : public testing::Test {
protected:
    void SetUp() override { gltest::useThreadsafeDeathTests(); }
};

TEST(FboTargetSize, FollowsTheWindowOrTheLargestPowerOfTwoBelowItsWidth) {
    struct Case {
        int windowWidth, windowHeight;
        bool nonPowerOfTwo;
        int width, height;
    };
    const Case cases[] = {
        {1280, 720, false, 1024, 1024}, {1024, 768, false, 512, 512}, {1025, 10, false, 1024, 1024},
        {1920, 1080, false, 1024, 1024}, {640, 480, false, 512, 512}, {3, 500, false, 2, 2},
        {2, 2, false, 1, 1},            {1, 1, false, 1, 1},          {0, 0, false, 1, 1},
        {2147483647, 1, false, 1073741824, 1073741824},
        {1920, 1080, true, 1920, 1080}, {641, 479, true, 641, 479},   {1, 1, true, 1, 1},
        // A minimised window: never an empty (incomplete) target.
        {0, 0, true, 1, 1},             {-4, 300, true, 1, 300},
    };
    for (const Case& c : cases) {
        int width = -1, height = -1;
        Fbo::targetSize(c.windowWidth, c.windowHeight, c.nonPowerOfTwo, &width, &height);
        EXPECT_EQ(c.width, width) << c.windowWidth << "x" << c.windowHeight << " npot " << c.nonPowerOfTwo;
        EXPECT_EQ(c.height, height) << c.windowWidth << "x" << c.windowHeight << " npot " << c.nonPowerOfTwo;
    }
}

TEST_F(FboTest, ConstructionMakesA512SquareWithDepthAndOneRgbaAttachment) {
    GLint window = boundFramebuffer();
    Fbo fbo;
    EXPECT_EQ(512, fbo.width);
    EXPECT_EQ(512, fbo.height);
    GLint limit = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &limit);
    EXPECT_EQ(limit, fbo.maxDrawBuffers);
    EXPECT_NE(0u, fbo.framebuffer);
    EXPECT_NE(0u, fbo.depthBuffer);
    EXPECT_EQ(GLuint(window), fbo.windowFramebuffer);
    ASSERT_EQ(1u, fbo.colorAttachments.size());
    const Texture* t = fbo.colorAttachments[0];
    EXPECT_EQ(nullptr, t->imageData);
    EXPECT_EQ(GLenum(GL_RGBA), t->format);
    EXPECT_EQ(32, t->bitsPerPixel);
    EXPECT_EQ(GLenum(GL_CLAMP_TO_EDGE), t->wrap);
    EXPECT_FALSE(t->mipmapped);
    EXPECT_FALSE(t->floatPixels);
    EXPECT_EQ(GLenum(GL_LINEAR), t->minFilter);
    EXPECT_EQ(GLenum(GL_LINEAR), t->magFilter);
    EXPECT_NE(0u, t->name);
    expectConsistent(fbo);
}

TEST_F(FboTest, ResizeToTheSameTargetDoesNoOpenGLWork) {
    Fbo fbo;
    GLuint depth = fbo.depthBuffer;
    GLuint colour = fbo.colorAttachments[0]->name;
    // Bound on purpose: a resize that did any work would leave the window's bound.
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebuffer);
    fbo.resize(512, 512);
    EXPECT_EQ(GLint(fbo.framebuffer), boundFramebuffer());
    EXPECT_EQ(depth, fbo.depthBuffer);
    EXPECT_EQ(colour, fbo.colorAttachments[0]->name);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.windowFramebuffer);
}

TEST_F(FboTest, WithNonPowerOfTwoTexturesTheTargetFollowsTheWindowExactly) {
    ASSERT_TRUE(GLEW_ARB_texture_non_power_of_two) << "Mesa offers the extension";
    Fbo fbo;
    const int sizes[][2] = {{641, 479}, {1280, 720}, {1280, 720}, {320, 180}, {1, 1}, {512, 512}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
        fbo.resize(size[0], size[1]);
        EXPECT_EQ(size[0], fbo.width);
        EXPECT_EQ(size[1], fbo.height);
        expectConsistent(fbo);
    }
}

// Mesa takes the extension away for a whole process: each case runs in a child that
// starts its own context with the override, prints the target and exits 0.
TEST_F(FboTest, WithoutNonPowerOfTwoTexturesTheTargetIsAPowerOfTwoSquare) {
    struct Case {
        int windowWidth, windowHeight;
        const char* expected;
    };
    const Case cases[] = {{1280, 720, "target 1024x1024 texture 1024x1024 complete"},
                          {1024, 768, "target 512x512 texture 512x512 complete"},
                          {300, 900, "target 256x256 texture 256x256 complete"}};
    setenv("MESA_EXTENSION_OVERRIDE", "-GL_ARB_texture_non_power_of_two", 1);
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                if (GLEW_ARB_texture_non_power_of_two) {
                    fprintf(stderr, "extension still offered\n");
                    exit(2);
                }
                Fbo fbo;
                fbo.resize(c.windowWidth, c.windowHeight);
                glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebuffer);
                bool complete = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
                fprintf(stderr, "target %dx%d texture %dx%d %s\n", fbo.width, fbo.height,
                        textureLevelSize(fbo.colorAttachments[0]->name, GL_TEXTURE_WIDTH),
                        textureLevelSize(fbo.colorAttachments[0]->name, GL_TEXTURE_HEIGHT),
                        complete ? "complete" : "incomplete");
                exit(0);
            },
            testing::ExitedWithCode(0), c.expected);
    }
    unsetenv("MESA_EXTENSION_OVERRIDE");
}

TEST_F(FboTest, TooFewDrawBuffersEndTheProcessNamingTheCountAndThree) {
    Fbo::requireDrawBuffers(3);  // enough: returns
    Fbo::requireDrawBuffers(8);
    for (int available : {2, 1, 0}) {
        EXPECT_EXIT(Fbo::requireDrawBuffers(available), testing::ExitedWithCode(1),
                    gltest::fatalBox(kSource, "GL_MAX_DRAW_BUFFERS is " + std::to_string(available) +
                                                  ", which just ain't gonna cut it. You must have 3 "
                                                  "for this ride."));
    }
}

GLenum GLAPIENTRY incompleteStatus(GLenum) { return GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT; }

TEST_F(FboTest, AnIncompleteTargetEndsTheProcessWithItsStatusInLowerCaseHex) {
    // The driver's status query is replaced in the child: 0x8CD6, incomplete attachment.
    EXPECT_EXIT(
        {
            glCheckFramebufferStatusEXT = incompleteStatus;
            Fbo fbo;
        },
        testing::ExitedWithCode(1), gltest::fatalBox(kSource, "FramebufferStatus is 8cd6"));
    EXPECT_EXIT(
        {
            Fbo fbo;
            glCheckFramebufferStatusEXT = incompleteStatus;
            fbo.resize(640, 360);
        },
        testing::ExitedWithCode(1), gltest::fatalBox(kSource, "FramebufferStatus is 8cd6"));
}

TEST_F(FboTest, APendingOpenGLErrorIsCaughtAtTheFirstCheck) {
    EXPECT_EXIT(
        {
            glEnable(0xFFFF);
            Fbo fbo;
        },
        testing::ExitedWithCode(1), gltest::glErrorBox("GL_INVALID_ENUM", kSource));
}

}  // namespace
