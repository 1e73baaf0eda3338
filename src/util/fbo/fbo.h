// One off-screen render target: a framebuffer object with a depth renderbuffer and
// RGBA colour attachments of its size. Follows the window size.
#pragma once

#include <GL/glew.h>

#include <vector>

#include "util/texture/texture.h"

class Fbo {
public:
    // 512 x 512, one colour attachment. Leaves the window's framebuffer bound: the one
    // bound at construction (0, or the one SDL 1.2 compatibility layers draw into).
    Fbo();
    // Follows the window size (pixels); leaves the window's framebuffer bound. Does no
    // OpenGL work when the target size does not change.
    void resize(int width, int height);

    // The target size for a window: without non-power-of-two textures a square whose
    // side is the largest power of two strictly below the window width (at least 1).
    static void targetSize(int windowWidth, int windowHeight, bool nonPowerOfTwo, int* width,
                           int* height);
    // Ends the process when the driver offers fewer than the 3 draw buffers needed.
    static void requireDrawBuffers(GLint available);

    static constexpr int kRequiredDrawBuffers = 3;

    int width = 512;
    int height = 512;
    GLint maxDrawBuffers = 0;
    GLuint framebuffer = 0;
    GLuint windowFramebuffer = 0;  // bound at construction; bound again after every change
    GLuint depthBuffer = 0;
    std::vector<Texture*> colorAttachments;  // owned; entry i at GL_COLOR_ATTACHMENT0_EXT + i

private:
    void addDepthBuffer();
    void addColorAttachment();
};
