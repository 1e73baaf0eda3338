// Soft coloured sparks (the greeting's 15000 from beat 52 on) stream out of one point
// towards and past the camera, drawn as additive billboards; the camera sways with the
// beat.
#pragma once

#include <string>

#include "scenes/scene/billboards.h"
#include "scenes/scene/colour.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/splats.h"
#include "scenes/scene/sprites.h"
#include "util/texture/texture.h"

class ShaderProgram;

struct Star {
    float position[3];  // world units
    float velocity[3];  // units per second, before the speed factor 5
    float colour[3];    // red and blue may exceed 1
};

// The greeting's star count and billboard edge (world units).
constexpr int kStarCount = 15000;
constexpr float kStarSize = 0.5f;
// Stars past this z (strictly) are reset, shortly after the far plane clipped them.
constexpr float kStarResetZ = 150.0f;

// A star back at the origin with a random speed (0.5 to 15), a direction in a cone
// around +z and a random colour. Six random draws: speed, cone z, angle, h, red, blue.
void resetStar(Star* star);
// Moves every star by velocity * dt * 5 (dt in seconds); a star past z 150 is reset at
// once, in index order.
void updateStars(Star* stars, int count, float dt);

// What a production sets of its starfield; the defaults are the greeting's.
struct StarfieldParams {
    int count = kStarCount;  // stars, at least 1 (fewer is fatal at construction)
    float size = kStarSize;  // billboard edge, world units
    // Multiplies every star's colour as it is drawn; the simulation is the same.
    Rgb tint = {1.0f, 1.0f, 1.0f};
    // The sync description's modulator (by name) whose value brightens every star by the
    // factor 1 + value as it is drawn; "" for none. A name no modulator has adds nothing.
    std::string glowModulator;
    // The 16:9 viewport inside the window (bars where the window is not 16:9); false:
    // the whole window, with its own aspect.
    bool letterbox = true;
};

class Starfield : public Scene {
public:
    explicit Starfield(const StarfieldParams& params = {});
    ~Starfield() override;

    bool init() override;
    std::vector<std::string> assets() const override { return {"data/common/images/own_particle_256.png", "billboard.vert", "billboard.frag", "sprite.vert"}; }
    void draw() override;
    bool opensWithSplats() const override;
    bool drewOnlySplats() const override;
    // The stars move by the smoothed frame time.
    void simulate() override;
    void restart() override;
    // The star table.
    void saveState(std::vector<unsigned char>* out) const override;
    void loadState(const std::vector<unsigned char>& in) override;
    // The base letterbox (or the whole window, see StarfieldParams) with the far plane at 150.
    void resize(int width, int height) override;

    const StarfieldParams& params() const { return params_; }

    // The GL loader's address lookup; tests replace it.
    using ProcLookup = void* (*)(const char* name);
    static ProcLookup procLookup;

    void (*pointParameterf)(GLenum, GLfloat) = nullptr;
    void (*pointParameterfv)(GLenum, const GLfloat*) = nullptr;
    Texture particleTexture;
    ShaderProgram* billboardProgram = nullptr;
    Star* stars;  // params().count records, zero-filled until init
    Star* initialStars;  // the table as init left it
    // False after the point-parameter warning: no texture, no program, nothing drawn.
    bool ready = false;

private:
    StarfieldParams params_;
    BillboardBatch batch_;
    SpriteBatch* sprites_ = nullptr;  // made on the first draw on the fast path
    SplatBatch* splats_ = nullptr;    // made on the first draw on the cpu path
};
