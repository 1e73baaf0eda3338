// The particle scenes' fast drawing path: one 16-byte record per visible particle
// (position, RGBA8 colour) streamed into a buffer object and drawn as point sprites,
// which the rasteriser expands into the same camera-facing square the billboard program
// makes of four vertices. Particles whose alpha is 0 or below are left out (under the
// scenes' blend functions they add nothing), so are particles wholly outside the view.
// A particle whose square crosses an edge of the view, or is wider than the largest
// point the GL draws, goes to a billboard batch instead: points are clipped by their
// centre, quads by their edges. So does one narrower than 6 pixels, where multisampled
// points and quads cover the samples differently. The points are moved by an offset
// measured once per sample count against a quad (sprites.cpp), since some rasterisers
// (llvmpipe) place multisampled points half a pixel off.
#pragma once

#include <GL/glew.h>

#include <cstdint>

#include "scenes/scene/billboards.h"

class ShaderProgram;

// Which way the particle scenes send their sparks. Reference: four vertices per
// spark from client arrays, one GL_QUADS draw per batch. Fast: the sprite records above.
// Cpu: splatted by the CPU into a layer added to the frame (splats.h). Auto: chosen at
// the first draw, or before the show (chooseParticlePathAhead), from what the GL reports
// and the viewport's height (see automaticParticlePath), logged in one line.
enum class ParticlePath { Reference, Fast, Cpu, Auto };
// The path the scenes draw now: what was set, resolved (Auto) and fallen back to
// Reference where the GL lacks what Fast or Cpu calls. Needs a current GL context; the
// first call after a change reads the viewport, so it belongs in a scene's draw.
ParticlePath particlePath();
// Resolves the path before the show where a particle scene is loaded, under the viewport
// the scenes draw a frame of width x height pixels under (letterboxed 16:9): what the
// path makes ahead (the software path's stamps) is then made at start-up, not on the
// first particle frame in the middle of the show.
void chooseParticlePathAhead(int width, int height);
// The path particlePath() resolved, or Auto while it has not resolved one since the
// last change: for questions asked before a draw, which must not resolve it.
ParticlePath resolvedParticlePath();
// Sets the path asked for (Auto by default); the next particlePath() resolves it again.
void setParticlePath(ParticlePath path);
// "reference", "fast", "cpu" or "auto"; false for anything else.
bool parseParticlePath(const char* text, ParticlePath* path);
const char* particlePathName(ParticlePath path);
// What the automatic choice takes for a GL of this renderer string whose calls offer
// (or not) the fast and the software paths, drawing into a viewport `height` pixels
// high: Cpu on a software renderer from kCpuParticlesMinHeight up (its fill is what
// such a GL spends a frame on, and there the splats keep the look), else Fast where
// point sprites are supported, else Reference.
ParticlePath automaticParticlePath(const char* renderer, bool fastOffered, bool cpuOffered, int height);
// Below this height the sparks are a few pixels wide, where the splats' sub-pixel steps
// leave more than 1% of the pixels over 8 levels from the quads, and the fill is cheap
// (the finale's 72 frames at 2 fps, 4 samples, its worst frame: 98.15% within at
// 800x450, 98.63% at 960x540 (13 frames under 99%), 99.07% at 1280x720, 99.31% at
// 1920x1080).
constexpr int kCpuParticlesMinHeight = 540;
// Mesa's software rasterisers (llvmpipe, softpipe, swrast) by their renderer string.
bool softwareRenderer(const char* renderer);
// The GL has the calls of each path (what it reports, beyond the start-up's checks).
bool fastParticlePathOffered();
bool cpuParticlePathOffered();

struct SpriteRecord {
    float x, y, z;
    uint8_t rgba[4];
};
static_assert(sizeof(SpriteRecord) == 16, "sprite records are 16 bytes");

enum class SpriteFate { Culled, Point, Quad };

// Where a particle of half edge (halfX, halfY) in clip units goes, from its clip-space
// position (x, y, z, w): Culled when its square lies wholly outside the clip volume,
// Point when wholly inside and from minPointSize to maxPointSize pixels wide
// (pixelsPerClipY: half the viewport height), Quad otherwise.
SpriteFate classifySprite(const float clip[4], float halfX, float halfY, float pixelsPerClipY,
                          float minPointSize, float maxPointSize);

// Colour channel in [0, 1] (clamped, as the GL clamps vertex colours) to 0..255.
inline uint8_t colourByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<uint8_t>(value * 255.0f + 0.5f);
}

class SpriteBatch {
public:
    explicit SpriteBatch(int capacity);  // in particles
    ~SpriteBatch();
    SpriteBatch(const SpriteBatch&) = delete;
    SpriteBatch& operator=(const SpriteBatch&) = delete;

    static constexpr bool kSkipsInvisible = true;

    // Starts a batch of particles of glow radius `size` (world units) under the current
    // modelview and projection matrices and viewport.
    void begin(float size);
    // Same arguments as BillboardBatch::add; classified at once.
    void add(float x, float y, float z, float r, float g, float b, float a) {
        if (!(a > 0.0f) || points_ + quads_.count() >= capacity_) return;
        float clip[4];
        for (int i = 0; i < 4; ++i) clip[i] = mvp_[i] * x + mvp_[4 + i] * y + mvp_[8 + i] * z + mvp_[12 + i];
        switch (classifySprite(clip, halfX_, halfY_, pixelsPerClipY_, minPointSize_, maxPointSize_)) {
            case SpriteFate::Culled:
                return;
            case SpriteFate::Point: {
                SpriteRecord& s = records_[points_++];
                s.x = x;
                s.y = y;
                s.z = z;
                s.rgba[0] = colourByte(r);
                s.rgba[1] = colourByte(g);
                s.rgba[2] = colourByte(b);
                s.rgba[3] = colourByte(a);
                return;
            }
            case SpriteFate::Quad:
                quads_.add(x, y, z, r, g, b, a);
                return;
        }
    }
    int points() const { return points_; }
    int quads() const { return quads_.count(); }
    const SpriteRecord* records() const { return records_; }

    // Draws the batch: the points through the sprite program, then the quads through
    // the billboard program (bound by bindBillboardProgram, "size" set here), both with
    // the particle texture on unit 0. Leaves the billboard program bound.
    void draw(ShaderProgram* billboard);

private:
    SpriteRecord* records_;
    BillboardBatch quads_;
    int capacity_;
    int points_ = 0;
    float size_ = 0.0f;
    float mvp_[16] = {};
    float halfX_ = 0.0f, halfY_ = 0.0f, pixelsPerClipY_ = 0.0f, minPointSize_ = 1.0f, maxPointSize_ = 0.0f;
    GLuint buffer_ = 0;
};

// The shift in pixels (x, y) the fast path gives its points in framebuffers of `samples`
// samples, measured on their first draw there; null before.
const float* measuredPointShift(int samples);

// The sprite program ("sprite.vert" with the billboard's own "billboard.frag"), built
// with the shader set at start-up (or on first use) and kept until the process ends.
ShaderProgram* spriteProgram();
// Development mode's reload: the sprite program built again from its files; false when
// that failed (the previous build stays). The software path computes the sparks' colour
// in C++ and cannot follow the shaders: when billboard.vert, billboard.frag or
// sprite.vert differ from what they were at start-up and the sparks go the Cpu way,
// they go a GL way from then on, and a "[dev]" line says so.
bool rebuildSpriteProgram();
