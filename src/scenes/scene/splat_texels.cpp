#include "scenes/scene/splat_texels.h"

#include <algorithm>

#include "log.h"

namespace {
// The atlas the squares are drawn into, a shelf of rows at a time.
constexpr int kAtlasSide = 1024;

const char* const kVertex =
    "#version 120\n"
    "void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = ftransform(); }\n";
// Red and alpha of the sample, as the billboard shader's texture2D() returns them.
const char* const kFragment =
    "#version 120\n"
    "uniform sampler2D particle;\n"
    "void main() { vec4 t = texture2D(particle, gl_TexCoord[0].st); gl_FragColor = vec4(t.r, t.a, 0.0, 1.0); }\n";

GLuint compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char info[1024] = "";
        glGetShaderInfoLog(shader, sizeof info, nullptr, info);
        logLine("particles: the stamps' sampling shader failed to compile: %s\n", info);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The program, built once; 0 where it cannot be.
GLuint samplingProgram() {
    static GLuint program = [] {
        if (!glCreateShader || !glCreateProgram) return GLuint(0);
        const GLuint vs = compile(GL_VERTEX_SHADER, kVertex), fs = compile(GL_FRAGMENT_SHADER, kFragment);
        GLuint p = 0;
        if (vs && fs) {
            p = glCreateProgram();
            glAttachShader(p, vs);
            glAttachShader(p, fs);
            glLinkProgram(p);
            GLint ok = 0;
            glGetProgramiv(p, GL_LINK_STATUS, &ok);
            if (!ok) {
                glDeleteProgram(p);
                p = 0;
            }
        }
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return p;
    }();
    return program;
}

bool floatTargets() { return GLEW_EXT_framebuffer_object && (GLEW_ARB_texture_float || GLEW_VERSION_3_0); }
}  // namespace

bool renderStampTexels(GLuint texture, const std::vector<StampSquare>& squares,
                       std::vector<std::vector<float>>* texels) {
    texels->clear();
    if (squares.empty()) return true;
    if (!floatTargets()) return false;
    const GLuint program = samplingProgram();
    if (!program) return false;

    // The draw and read bindings apart where the GL has them (GL_FRAMEBUFFER_BINDING_EXT
    // is the draw one).
    const bool separateBindings = GLEW_ARB_framebuffer_object || GLEW_VERSION_3_0;
    GLint drawFbo = 0, readFbo = 0, previousProgram = 0, activeTexture = GL_TEXTURE0, bound = 0, sampler = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &drawFbo);
    if (separateBindings) glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    if (glBindSampler) {
        glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
        glBindSampler(0, 0);  // the texture's own filtering, as the billboards sample it
    }

    GLuint target = 0, fbo = 0;
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, kAtlasSide, kAtlasSide, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffersEXT(1, &fbo);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, target, 0);
    bool complete = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;

    if (complete) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glViewport(0, 0, kAtlasSide, kAtlasSide);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_MULTISAMPLE);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, kAtlasSide, 0, kAtlasSide, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "particle"), 0);
        texels->resize(squares.size());
        std::vector<float> pixels;
        size_t first = 0;
        while (first < squares.size()) {
            // Shelves of squares, left to right and up, until the atlas is full.
            struct Place {
                size_t index;
                int x, y;
            };
            std::vector<Place> places;
            int x = 0, y = 0, shelf = 0;
            size_t i = first;
            for (; i < squares.size(); ++i) {
                const StampSquare& s = squares[i];
                if (x + s.width > kAtlasSide) {
                    x = 0;
                    y += shelf;
                    shelf = 0;
                }
                if (y + s.height > kAtlasSide) break;
                places.push_back({i, x, y});
                x += s.width;
                shelf = std::max(shelf, s.height);
            }
            if (places.empty()) {  // a square wider or taller than the atlas
                complete = false;
                break;
            }
            const int used = y + shelf;
            glBegin(GL_QUADS);
            for (const Place& p : places) {
                const StampSquare& s = squares[p.index];
                const float edge = s.edge, fx = s.fx, fy = s.fy;
                const float s0 = -fx / edge, s1 = (float(s.width) - fx) / edge;
                const float t0 = -fy / edge, t1 = (float(s.height) - fy) / edge;
                const float x0 = float(p.x), x1 = float(p.x + s.width), y0 = float(p.y), y1 = float(p.y + s.height);
                glTexCoord2f(s0, t0);
                glVertex2f(x0, y0);
                glTexCoord2f(s1, t0);
                glVertex2f(x1, y0);
                glTexCoord2f(s1, t1);
                glVertex2f(x1, y1);
                glTexCoord2f(s0, t1);
                glVertex2f(x0, y1);
            }
            glEnd();
            pixels.resize(size_t(kAtlasSide) * size_t(used) * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glReadPixels(0, 0, kAtlasSide, used, GL_RGBA, GL_FLOAT, pixels.data());
            for (const Place& p : places) {
                const StampSquare& s = squares[p.index];
                std::vector<float>& out = (*texels)[p.index];
                out.resize(size_t(s.width) * size_t(s.height) * 2);
                for (int j = 0; j < s.height; ++j)
                    for (int k = 0; k < s.width; ++k) {
                        const float* at = &pixels[(size_t(p.y + j) * kAtlasSide + size_t(p.x + k)) * 4];
                        out[(size_t(j) * size_t(s.width) + size_t(k)) * 2] = at[0];
                        out[(size_t(j) * size_t(s.width) + size_t(k)) * 2 + 1] = at[1];
                    }
            }
            first = i;
        }
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }

    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(drawFbo));
    if (separateBindings) glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
    glDeleteFramebuffersEXT(1, &fbo);
    glDeleteTextures(1, &target);
    glUseProgram(GLuint(previousProgram));
    if (glBindSampler) glBindSampler(0, GLuint(sampler));
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    glPopClientAttrib();
    glPopAttrib();
    glActiveTexture(GLenum(activeTexture));
    if (!complete) texels->clear();
    return complete;
}
