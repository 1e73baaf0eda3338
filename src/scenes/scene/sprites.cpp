#include "scenes/scene/sprites.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "main/log.h"
#include "util/shaderprogram/shaderprogram.h"

namespace {
ParticlePath g_path = ParticlePath::Fast;
// Multisampled points and quads cover the samples along their edges differently (seen on
// llvmpipe: about 3 levels per channel on average over a burst at 640x360). Squares this
// wide have black edges down to the mip level they sample, so there it does not show;
// narrower sparks go as quads.
constexpr float kMinPointPixels = 8.0f;
}  // namespace

ParticlePath particlePath() { return g_path; }
void setParticlePath(ParticlePath path) { g_path = path; }

bool parseParticlePath(const char* text, ParticlePath* path) {
    if (strcmp(text, "reference") == 0) {
        *path = ParticlePath::Reference;
    } else if (strcmp(text, "fast") == 0) {
        *path = ParticlePath::Fast;
    } else {
        return false;
    }
    return true;
}

SpriteFate classifySprite(const float clip[4], float halfX, float halfY, float pixelsPerClipY,
                          float minPointSize, float maxPointSize) {
    const float x = clip[0], y = clip[1], z = clip[2], w = clip[3];
    // The square lies in a plane parallel to the image: its corners share z and w, so
    // the near and far planes take all of it or none.
    if (!(z >= -w) || !(z <= w)) return SpriteFate::Culled;
    if (x + halfX < -w || x - halfX > w || y + halfY < -w || y - halfY > w) return SpriteFate::Culled;
    if (!(w > 0.0f)) return SpriteFate::Quad;
    if (x - halfX < -w || x + halfX > w || y - halfY < -w || y + halfY > w) return SpriteFate::Quad;
    // Edge in pixels: 2 * halfY / w of the clip range, times half the viewport height.
    // Points are drawn at least minPointSize wide (one pixel): smaller ones as quads.
    const float edge = 2.0f * halfY * pixelsPerClipY;
    if (edge > maxPointSize * w || edge < minPointSize * w) return SpriteFate::Quad;
    return SpriteFate::Point;
}

SpriteBatch::SpriteBatch(int capacity) : quads_(capacity) {
    records_ = static_cast<SpriteRecord*>(malloc(sizeof(SpriteRecord) * (capacity > 0 ? capacity : 1)));
    if (!records_) FATAL("Failed to allocate memory for %i sprites", capacity);
    capacity_ = capacity;
}

SpriteBatch::~SpriteBatch() { free(records_); }

void SpriteBatch::begin(float size) {
    points_ = 0;
    quads_.clear();
    size_ = size;
    GLfloat modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * modelview[c * 4 + k];
            mvp_[c * 4 + r] = sum;
        }
    // The billboard's corners move along the camera's own axes, so in clip space they
    // lie size / 2 times the projection's scale factors away from the centre.
    halfX_ = projection[0] * size * 0.5f;
    halfY_ = projection[5] * size * 0.5f;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    pixelsPerClipY_ = float(viewport[3]) * 0.5f;
    if (maxPointSize_ <= 0.0f) {
        GLfloat aliased[2] = {1.0f, 1.0f}, smooth[2] = {1.0f, 1.0f};
        glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, aliased);
        glGetFloatv(GL_SMOOTH_POINT_SIZE_RANGE, smooth);
        maxPointSize_ = aliased[1] < smooth[1] ? aliased[1] : smooth[1];
        minPointSize_ = aliased[0] > smooth[0] ? aliased[0] : smooth[0];
        if (minPointSize_ < kMinPointPixels) minPointSize_ = kMinPointPixels;
    }
}

void SpriteBatch::draw(ShaderProgram* billboard) {
    if (points_ > 0) {
        ShaderProgram* sprite = spriteProgram();
        sprite->bind();
        sprite->setUniform1f("size", size_);
        sprite->setUniform1f("viewportHeight", pixelsPerClipY_ * 2.0f);
        // The point's own coordinate replaces texture coordinate 0, bottom-left origin
        // as the billboard's corners (0, 0) to (1, 1), so billboard.frag serves both.
        glEnable(GL_POINT_SPRITE);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
        glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
        if (!buffer_) glGenBuffers(1, &buffer_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        // New storage every time (orphaning): the GL need not wait for the last draw.
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(SpriteRecord)) * points_, records_, GL_STREAM_DRAW);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(SpriteRecord), reinterpret_cast<const void*>(0));
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(SpriteRecord),
                       reinterpret_cast<const void*>(offsetof(SpriteRecord, rgba)));
        glDrawArrays(GL_POINTS, 0, points_);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_FALSE);
        glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
        glDisable(GL_POINT_SPRITE);
    }
    billboard->bind();
    if (quads_.count() > 0) {
        billboard->setUniform1f("size", size_);
        quads_.draw(0, quads_.count());
    }
}

ShaderProgram* spriteProgram() {
    static ShaderProgram* program = new ShaderProgram("sprite.vert", "billboard.frag");
    return program;
}
