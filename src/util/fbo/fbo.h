// One off-screen render target: a framebuffer object with a depth renderbuffer and
// RGBA colour attachments of its size. Follows the window size.
#pragma once

#include <GL/glew.h>

#include <vector>

#include "util/texture/texture.h"

class Fbo {
public:
    Fbo();  // 512 x 512, one colour attachment; leaves framebuffer 0 bound
    void resize(int width, int height);

    int width = 512;
    int height = 512;
    GLint maxDrawBuffers = 0;
    GLuint framebuffer = 0;
    GLuint depthBuffer = 0;
    std::vector<Texture*> colorAttachments;

private:
    void addDepthBuffer();
    void addColorAttachment();
};
