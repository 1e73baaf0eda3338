#include "scenes/scene/sprites.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/splats.h"
#include "util/shaderprogram/shaderprogram.h"

namespace {
ParticlePath g_path = ParticlePath::Auto;
// Multisampled points narrower than this cover the samples along their edges differently
// from quads even after the measured shift below (seen on llvmpipe: 1.1 levels per
// channel on average over a burst at 640x360 with all points, 0.26 from 3 pixels on,
// 0.02 from 5); narrower sparks go as quads.
constexpr float kMinPointPixels = 6.0f;

// The point of `records` drawn through the sprite program, moved by shift (pixels).
void drawPoints(GLuint buffer, const SpriteRecord* records, int count, float size, const GLint viewport[4],
                const float shift[2]) {
    ShaderProgram* sprite = spriteProgram();
    sprite->bind();
    sprite->setUniform1f("size", size);
    sprite->setUniform1f("viewportHeight", float(viewport[3]));
    sprite->setUniform2f("pointShift", shift[0] * 2.0f / float(viewport[2]), shift[1] * 2.0f / float(viewport[3]));
    // The point's own coordinate replaces texture coordinate 0, bottom-left origin
    // as the billboard's corners (0, 0) to (1, 1), so billboard.frag serves both.
    glEnable(GL_POINT_SPRITE);
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
    glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    // New storage every time (orphaning): the GL need not wait for the last draw.
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(SpriteRecord)) * count, records, GL_STREAM_DRAW);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(SpriteRecord), reinterpret_cast<const void*>(0));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(SpriteRecord),
                   reinterpret_cast<const void*>(offsetof(SpriteRecord, rgba)));
    const GLuint sampler = bindParticleSampler();  // the sprites face the screen
    glDrawArrays(GL_POINTS, 0, count);
    if (glBindSampler) glBindSampler(0, sampler);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
    glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_FALSE);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glDisable(GL_POINT_SPRITE);
}

// Red-weighted centre of a frame of side x side RGBA pixels.
void centroid(const std::vector<unsigned char>& pixels, int side, float out[2]) {
    double sx = 0.0, sy = 0.0, sum = 0.0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double v = pixels[size_t(y * side + x) * 4];
            sx += v * x;
            sy += v * y;
            sum += v;
        }
    out[0] = sum > 0.0 ? float(sx / sum) : 0.0f;
    out[1] = sum > 0.0 ? float(sy / sum) : 0.0f;
}

// Where the GL puts a point against the square of the same particle, in pixels, for the
// bound framebuffer's sample count: one 12-pixel particle drawn both ways into a small
// framebuffer of that many samples with the bound particle texture. Every state it
// touches is put back, except the bound program and the billboard's "right" and "up".
void measurePointShift(ShaderProgram* billboard, GLuint buffer, int samples, float shift[2]) {
    constexpr int kSide = 32;
    GLint drawFb = 0, readFb = 0, pack = 0, viewport[4], blendSrc[2], blendDst[2];
    GLfloat clear[4];
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFb);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFb);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &pack);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_BLEND_SRC_RGB, &blendSrc[0]);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &blendSrc[1]);
    glGetIntegerv(GL_BLEND_DST_RGB, &blendDst[0]);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &blendDst[1]);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const GLboolean blendOn = glIsEnabled(GL_BLEND);

    GLuint framebuffers[2], colours[2];
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(2, colours);
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, colours[i]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, i == 0 ? samples : 0, GL_RGBA8, kSide, kSide);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colours[i]);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const GLint square[4] = {0, 0, kSide, kSide};
    glViewport(0, 0, kSide, kSide);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);

    const float size = 0.75f;                // 12 pixels: 16 pixels per unit
    const float x = 0.0123f, y = 0.0217f;    // off the pixel grid
    float centres[2][2];
    std::vector<unsigned char> pixels(size_t(kSide) * kSide * 4);
    for (int way = 0; way < 2; ++way) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
        glClear(GL_COLOR_BUFFER_BIT);
        if (way == 0) {
            const float right[3] = {1.0f, 0.0f, 0.0f}, up[3] = {0.0f, 1.0f, 0.0f};
            billboard->bind();
            billboard->setUniform3fv("right", right);
            billboard->setUniform3fv("up", up);
            billboard->setUniform1f("size", size);
            BillboardBatch quad(1);
            quad.add(x, y, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f);
            quad.draw(0, 1);
        } else {
            const SpriteRecord point = {x, y, 0.0f, {255, 255, 255, 255}};
            const float none[2] = {0.0f, 0.0f};
            drawPoints(buffer, &point, 1, size, square, none);
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
        glBlitFramebuffer(0, 0, kSide, kSide, 0, 0, kSide, kSide, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
        glReadPixels(0, 0, kSide, kSide, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        centroid(pixels, kSide, centres[way]);
    }
    // Whole 1/16 pixels: the measurement's noise stays out.
    for (int axis = 0; axis < 2; ++axis)
        shift[axis] = float(int((centres[0][axis] - centres[1][axis]) * 16.0f + (centres[0][axis] > centres[1][axis] ? 0.5f : -0.5f))) / 16.0f;

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFb));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFb));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(pack));
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(2, colours);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBlendFuncSeparate(GLenum(blendSrc[0]), GLenum(blendDst[0]), GLenum(blendSrc[1]), GLenum(blendDst[1]));
    if (!blendOn) glDisable(GL_BLEND);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    CHECK_GL();
}

// The measured shift for each sample count met so far.
struct ShiftEntry {
    int samples;
    float shift[2];
};
std::vector<ShiftEntry> g_shifts;
}  // namespace

namespace {
ParticlePath g_resolved = ParticlePath::Auto;  // Auto: not resolved yet

bool contains(const char* text, const char* word) { return text && strstr(text, word) != nullptr; }
}  // namespace

// What the fast path calls beyond the start-up's extension questions: point sprites with
// a size from the vertex program, framebuffer blits and multisampled renderbuffers (where
// points land is measured), buffer objects and separate blend factors. A GL without them
// (the viewer may go on without an extension) draws another way instead of calling a
// missing entry point.
bool fastParticlePathOffered() {
    return (GLEW_VERSION_2_0 || (GLEW_ARB_point_sprite && GLEW_ARB_vertex_shader)) && glGenFramebuffers &&
           glBindFramebuffer && glFramebufferRenderbuffer && glDeleteFramebuffers && glGenRenderbuffers &&
           glBindRenderbuffer && glRenderbufferStorageMultisample && glDeleteRenderbuffers && glBlitFramebuffer &&
           glBlendFuncSeparate && glGenBuffers && glBindBuffer && glBufferData &&
           (GLEW_VERSION_2_1 || GLEW_ARB_pixel_buffer_object);
}

// The software path reads the particle texture's levels and adds its layer with separate
// blend factors (the frame's alpha kept), through the buffer unbinding of 2.1.
bool cpuParticlePathOffered() { return glBlendFuncSeparate && glBindBuffer && (GLEW_VERSION_2_1 || GLEW_ARB_pixel_buffer_object); }

ParticlePath automaticParticlePath(const char* renderer, bool fastOffered, bool cpuOffered, int height) {
    if (cpuOffered && softwareRenderer(renderer) && height >= kCpuParticlesMinHeight) return ParticlePath::Cpu;
    if (fastOffered) return ParticlePath::Fast;
    return ParticlePath::Reference;
}

bool softwareRenderer(const char* renderer) {
    return contains(renderer, "llvmpipe") || contains(renderer, "softpipe") ||
           contains(renderer, "Software Rasterizer") || contains(renderer, "swrast");
}

const char* particlePathName(ParticlePath path) {
    switch (path) {
        case ParticlePath::Reference:
            return "reference";
        case ParticlePath::Fast:
            return "fast";
        case ParticlePath::Cpu:
            return "cpu";
        case ParticlePath::Auto:
            break;
    }
    return "auto";
}

ParticlePath particlePath() {
    if (g_resolved != ParticlePath::Auto) return g_resolved;
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const bool fast = fastParticlePathOffered(), cpu = cpuParticlePathOffered();
    ParticlePath chosen = g_path;
    const char* why = "as asked";
    if (chosen == ParticlePath::Auto) {
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        chosen = automaticParticlePath(renderer, fast, cpu, viewport[3]);
        why = chosen == ParticlePath::Cpu         ? "automatic: a software renderer"
              : chosen == ParticlePath::Reference ? "automatic: no point sprites"
              : softwareRenderer(renderer)        ? "automatic: point sprites, the frame is too small to splat"
                                                  : "automatic: point sprites";
    }
    if ((chosen == ParticlePath::Fast && !fast) || (chosen == ParticlePath::Cpu && !cpu)) {
        chosen = ParticlePath::Reference;
        why = "the GL lacks the calls of the path asked for";
    }
    g_resolved = chosen;
    // One line per path (the bench's comparison switches paths on every frame).
    static unsigned logged = 0;
    if (!(logged & (1u << int(chosen)))) {
        logged |= 1u << int(chosen);
        logLine("particles: %s (%s; renderer %s)\n", particlePathName(chosen), why, renderer ? renderer : "?");
    }
    if (chosen == ParticlePath::Cpu) warmNotedSplatTextures();
    return chosen;
}
ParticlePath resolvedParticlePath() { return g_resolved; }

void chooseParticlePathAhead(int width, int height) {
    if (!splatTexturesNoted()) return;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const Letterbox box = letterbox(width, height);
    glViewport(0, box.y, width, box.viewportHeight);
    particlePath();
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void setParticlePath(ParticlePath path) {
    if (path != g_path) g_resolved = ParticlePath::Auto;
    g_path = path;
}

bool parseParticlePath(const char* text, ParticlePath* path) {
    static const ParticlePath kAll[] = {ParticlePath::Reference, ParticlePath::Fast, ParticlePath::Cpu,
                                        ParticlePath::Auto};
    for (ParticlePath p : kAll)
        if (strcmp(text, particlePathName(p)) == 0) {
            *path = p;
            return true;
        }
    return false;
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
    // The billboard's corners move along the camera's own axes by size (the glow's
    // radius), so in clip space they lie size times the projection's scale factors away
    // from the centre.
    halfX_ = projection[0] * size;
    halfY_ = projection[5] * size;
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
        if (!buffer_) glGenBuffers(1, &buffer_);
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLES, &samples);
        const ShiftEntry* entry = nullptr;
        for (const ShiftEntry& e : g_shifts)
            if (e.samples == samples) entry = &e;
        if (!entry) {
            ShiftEntry measured = {samples, {0.0f, 0.0f}};
            measurePointShift(billboard, buffer_, samples, measured.shift);
            g_shifts.push_back(measured);
            entry = &g_shifts.back();
            // The billboard's camera axes again, as bindBillboardProgram set them.
            GLfloat m[16];
            glGetFloatv(GL_MODELVIEW_MATRIX, m);
            const float right[3] = {m[0], m[4], m[8]}, up[3] = {m[1], m[5], m[9]};
            billboard->bind();
            billboard->setUniform3fv("right", right);
            billboard->setUniform3fv("up", up);
        }
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        drawPoints(buffer_, records_, points_, size_, viewport, entry->shift);
    }
    billboard->bind();
    if (quads_.count() > 0) {
        billboard->setUniform1f("size", size_);
        quads_.draw(0, quads_.count());
    }
}

const float* measuredPointShift(int samples) {
    for (const ShiftEntry& e : g_shifts)
        if (e.samples == samples) return e.shift;
    return nullptr;
}

namespace {
ShaderProgram* g_spriteProgram = nullptr;
// The files the software path mirrors, as they were when the sprite program was built.
const char* const kMirroredShaders[] = {"billboard.vert", "billboard.frag", "sprite.vert"};
std::vector<std::string> g_mirrored;

std::vector<std::string> mirroredTexts() {
    std::vector<std::string> texts;
    for (const char* name : kMirroredShaders) {
        char* text = readShaderFile(name);
        texts.push_back(text ? text : "");
        free(text);
    }
    return texts;
}
}  // namespace

ShaderProgram* spriteProgram() {
    if (!g_spriteProgram) {
        g_spriteProgram = new ShaderProgram("sprite.vert", "billboard.frag");
        g_mirrored = mirroredTexts();
    }
    return g_spriteProgram;
}

bool rebuildSpriteProgram() {
    if (!g_spriteProgram) return true;  // no scene draws point sprites: nothing to rebuild
    bool built = g_spriteProgram->rebuild("sprite.vert", "billboard.frag");
    if (g_resolved == ParticlePath::Cpu && mirroredTexts() != g_mirrored) {
        g_resolved = fastParticlePathOffered() ? ParticlePath::Fast : ParticlePath::Reference;
        g_path = g_resolved;
        logLine("[dev] the particle shaders changed: the sparks are drawn by the GL from now on (particles: %s; "
                "the cpu path cannot follow an edited shader)\n",
                particlePathName(g_resolved));
    }
    return built;
}
