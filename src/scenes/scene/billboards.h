// Billboards of the particle scenes: each particle is four vertices at one position with
// the texture coordinates (0, 0), (1, 0), (1, 1), (0, 1); the billboard program spreads
// them into a camera-facing square. The vertices are collected in a preallocated
// client-side array and submitted as GL_QUADS, in the order they were added.
#pragma once

#include <GL/glew.h>

#include "util/util/random.h"

class ShaderProgram;

// A 15-bit draw of the scenes' generator (0 to 32767): its top 15 bits, as
// rand() / (RAND_MAX / 32768 + 1) gives them on glibc.
inline int randomDraw15() { return nextRandom() / (kRandomMax / 32768 + 1); }

// One draw / 32767 as a float in [0, 1]; the constant is 1/32767 in single precision.
inline float randomUnit() { return static_cast<float>(randomDraw15()) * 3.0518509e-05f; }

struct BillboardVertex {
    float s, t;
    float r, g, b, a;
    float x, y, z;
};

class BillboardBatch {
public:
    explicit BillboardBatch(int capacity);  // in billboards
    ~BillboardBatch();
    BillboardBatch(const BillboardBatch&) = delete;
    BillboardBatch& operator=(const BillboardBatch&) = delete;

    // Every particle added is drawn, whatever its alpha.
    static constexpr bool kSkipsInvisible = false;

    void clear() { count_ = 0; }
    // One particle; ignored once the batch is full.
    void add(float x, float y, float z, float r, float g, float b, float a);
    int count() const { return count_; }
    int capacity() const { return capacity_; }
    const BillboardVertex* vertices() const { return vertices_; }  // 4 per billboard

    // Draws billboards [first, first + count) from client arrays (no buffer bound).
    void draw(int first, int count) const { drawBillboards(vertices_ + 4 * first, count); }
    static void drawBillboards(const BillboardVertex* vertices, int count);  // 4 vertices each

private:
    BillboardVertex* vertices_;
    int capacity_;
    int count_ = 0;
};

// Where the particle texture is drawn as squares facing the screen (point sprites, the
// software path's wide sparks), its footprint is round: it is sampled trilinearly without
// anisotropic filtering, about half of a software renderer's cost for the same pixels (the
// texture's own set-up stays). Binds to unit 0 a sampler so made, with the wrap of the 2D
// texture bound there, and returns the sampler bound before, for glBindSampler(0, it)
// after the draw; nothing (0) where the GL has no sampler objects.
GLuint bindParticleSampler();

// Binds the particle texture on unit 0 and the billboard program, with "right" and "up"
// set to the camera's axes in world space (the first two rows of the current modelview
// matrix). The caller sets "size" and the blend function.
void bindBillboardProgram(ShaderProgram* program, GLuint texture);
