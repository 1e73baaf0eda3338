#include "util/fbo/fbo.h"

#include <cstdlib>

#include "log.h"

void Fbo::requireDrawBuffers(GLint available) {
    if (available < kRequiredDrawBuffers) {
        FATAL("GL_MAX_DRAW_BUFFERS is %i, which just ain't gonna cut it. You must have %i for this "
              "ride.",
              int(available), kRequiredDrawBuffers);
    }
}

Fbo::Fbo() {
    colorAttachments.clear();
    width = 512;
    height = 512;
    depthBuffer = 0;

    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDrawBuffers);
    requireDrawBuffers(maxDrawBuffers);

    REQUIRE_GL(glGenFramebuffersEXT);
    REQUIRE_GL(glBindFramebufferEXT);
    REQUIRE_GL(glCheckFramebufferStatusEXT);
    REQUIRE_GL(glFramebufferTexture2DEXT);
    REQUIRE_GL(glGenRenderbuffersEXT);
    REQUIRE_GL(glBindRenderbufferEXT);
    REQUIRE_GL(glRenderbufferStorageEXT);
    REQUIRE_GL(glFramebufferRenderbufferEXT);
    REQUIRE_GL(glDeleteRenderbuffersEXT);

    GLint window = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &window);
    windowFramebuffer = GLuint(window);

    glGenFramebuffersEXT(1, &framebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    CHECK_GL();

    addDepthBuffer();
    addColorAttachment();

    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) FATAL("FramebufferStatus is %x", unsigned(status));
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, windowFramebuffer);
}

void Fbo::addDepthBuffer() {
    if (depthBuffer != 0) FATAL("Depth buffer already present!");
    glGenRenderbuffersEXT(1, &depthBuffer);
    CHECK_GL();
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depthBuffer);
    CHECK_GL();
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, width, height);
    CHECK_GL();
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 depthBuffer);
    CHECK_GL();
    CHECK_GL();
}

void Fbo::addColorAttachment() {
    int index = int(colorAttachments.size());
    if (index >= maxDrawBuffers) {
        FATAL("Tried to add more than %i color attachments, and GL_MAX_DRAW_BUFFERS is %i", index,
              int(maxDrawBuffers));
    }
    Texture* attachment = static_cast<Texture*>(malloc(sizeof(Texture)));
    if (!attachment) FATAL("Out of memory for a color attachment");
    texture::init(attachment);
    colorAttachments.push_back(attachment);
    attachment->format = GL_RGBA;
    attachment->bitsPerPixel = 32;
    attachment->width = width;
    attachment->height = height;
    attachment->wrap = GL_CLAMP_TO_EDGE;
    attachment->mipmapped = false;
    attachment->floatPixels = false;
    attachment->minFilter = GL_LINEAR;
    attachment->magFilter = GL_LINEAR;
    texture::create(attachment);

    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + index, GL_TEXTURE_2D,
                              attachment->name, 0);
    CHECK_GL();
}

void Fbo::targetSize(int windowWidth, int windowHeight, bool nonPowerOfTwo, int* width,
                     int* height) {
    if (!nonPowerOfTwo) {
        long long c = 2;  // wide enough for any int width
        while (c < windowWidth) c *= 2;
        windowWidth = int(c / 2);
        windowHeight = windowWidth;
    }
    // A minimised window reports 0 (or less): an empty target can never be complete.
    *width = windowWidth < 1 ? 1 : windowWidth;
    *height = windowHeight < 1 ? 1 : windowHeight;
}

void Fbo::resize(int newWidth, int newHeight) {
    int targetWidth, targetHeight;
    targetSize(newWidth, newHeight, GLEW_ARB_texture_non_power_of_two, &targetWidth, &targetHeight);
    if (targetWidth == width && targetHeight == height) return;

    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    width = targetWidth;
    height = targetHeight;

    if (depthBuffer != 0) {
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                     GL_RENDERBUFFER_EXT, 0);
        CHECK_GL();
        glDeleteRenderbuffersEXT(1, &depthBuffer);
        CHECK_GL();
        depthBuffer = 0;
        addDepthBuffer();
    }

    for (size_t i = 0; i < colorAttachments.size(); ++i) {
        GLenum attachmentPoint = GLenum(GL_COLOR_ATTACHMENT0_EXT + i);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachmentPoint, GL_TEXTURE_2D, 0, 0);
        CHECK_GL();
        texture::resize(colorAttachments[i], width, height);
        CHECK_GL();
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachmentPoint, GL_TEXTURE_2D,
                                  colorAttachments[i]->name, 0);
        CHECK_GL();
    }

    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    CHECK_GL();
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) FATAL("FramebufferStatus is %x", unsigned(status));
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, windowFramebuffer);
}
