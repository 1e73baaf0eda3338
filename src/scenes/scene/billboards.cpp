#include "scenes/scene/billboards.h"

#include <GL/glew.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "util/shaderprogram/shaderprogram.h"

BillboardBatch::BillboardBatch(int capacity) {
    vertices_ = static_cast<BillboardVertex*>(malloc(sizeof(BillboardVertex) * 4 * capacity));
    capacity_ = vertices_ ? capacity : 0;
    // The texture coordinates never change; only positions and colours are written later.
    static const float kCorners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < capacity_ * 4; ++i) {
        vertices_[i].s = kCorners[i % 4][0];
        vertices_[i].t = kCorners[i % 4][1];
    }
}

BillboardBatch::~BillboardBatch() { free(vertices_); }

void BillboardBatch::add(float x, float y, float z, float r, float g, float b, float a) {
    if (count_ >= capacity_) return;
    BillboardVertex* v = vertices_ + 4 * count_;
    for (int i = 0; i < 4; ++i) {
        v[i].r = r;
        v[i].g = g;
        v[i].b = b;
        v[i].a = a;
        v[i].x = x;
        v[i].y = y;
        v[i].z = z;
    }
    ++count_;
}

void BillboardBatch::drawBillboards(const BillboardVertex* base, int count) {
    if (count <= 0) return;
    const GLsizei stride = sizeof(BillboardVertex);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, &base->s);
    glColorPointer(4, GL_FLOAT, stride, &base->r);
    glVertexPointer(3, GL_FLOAT, stride, &base->x);
    glDrawArrays(GL_QUADS, 0, 4 * count);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

GLuint bindParticleSampler() {
    if (!glGenSamplers || !glBindSampler) return 0;
    static std::vector<std::pair<GLint, GLuint>> made;  // by wrap mode
    GLint active = GL_TEXTURE0, previous = 0, wrap = GL_REPEAT;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_SAMPLER_BINDING, &previous);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    GLuint sampler = 0;
    for (const auto& m : made)
        if (m.first == wrap) sampler = m.second;
    if (!sampler) {
        glGenSamplers(1, &sampler);
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrap);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wrap);
        if (GLEW_EXT_texture_filter_anisotropic) glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
        made.emplace_back(wrap, sampler);
    }
    glBindSampler(0, sampler);
    glActiveTexture(GLenum(active));
    return GLuint(previous);
}

void bindBillboardProgram(ShaderProgram* program, GLuint texture) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float right[3] = {m[0], m[4], m[8]};
    const float up[3] = {m[1], m[5], m[9]};
    program->bind();
    program->setUniform3fv("right", right);
    program->setUniform3fv("up", up);
}
