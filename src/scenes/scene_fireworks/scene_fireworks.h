// Drawn over the starfield (the greeting's from beat 52 on): rockets rise with spark
// trails, each bursts into child rockets with trails of their own that fade out; a rocket
// whose whole family has died is relaunched. All motion is linear in music beats.
#pragma once

#include <functional>
#include <vector>

#include "scenes/scene/billboards.h"
#include "scenes/scene/colour.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/splats.h"
#include "scenes/scene/sprites.h"
#include "util/texture/texture.h"

class ShaderProgram;

// w is 1 and takes no part in the arithmetic.
struct Vec4 {
    float x, y, z, w;
};

// (cos(angle) * s, sin(angle) * s, u, 1) with u = 2r - 1 drawn first, then the angle.
Vec4 randomSphereDirection();
// (0, 1, 0) turned about the z axis by angleDegrees; exactly (0, 1, 0) for 0.
Vec4 rocketLaunchDirection(float angleDegrees);

class FireworksParticle {
public:
    FireworksParticle();
    virtual ~FireworksParticle() = default;

    virtual void launch(Vec4 position, Vec4 direction, float speed, const float* colour, float start,
                        float lifetime);
    // Alive while age (t - start) <= lifetime; a dead particle keeps position and alpha.
    virtual bool update(float t);
    // Adds this particle's billboard with alpha * fade (to a BillboardBatch, SpriteBatch or SplatBatch).
    template <class Batch>
    void drawSpark(float fade, Batch* batch) const {
        batch->add(position.x, position.y, position.z, colour[0], colour[1], colour[2], alpha * fade);
    }

    Vec4 position;
    Vec4 direction;
    float speed = 0.0f;     // world units per beat
    float start = 0.0f;     // beat of launch
    float lifetime = 0.0f;  // beats
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float alpha = 0.0f;
    float age = 0.0f;
    bool flying = false;
};

class FireworksRocket final : public FireworksParticle {
public:
    FireworksRocket(int sparkCount, float size);
    ~FireworksRocket() override;
    FireworksRocket(const FireworksRocket&) = delete;
    FireworksRocket& operator=(const FireworksRocket&) = delete;

    // The base launch, then every spark relaunched at the rocket with a quarter of its speed.
    void launch(Vec4 position, Vec4 direction, float speed, const float* colour, float start,
                float lifetime) override;
    bool update(float t) override;

    // Launches every child from here with one shared colour (drawn, times burstTint),
    // speed and lifetime.
    void burst(float t);
    void addChildren(int count, int depth);
    // Children first (after the burst), then this rocket's sparks with the rocket's alpha
    // as fade when it has no children, else 1. A SpriteBatch leaves out what has alpha 0
    // or below, so a childless rocket whose fade is not above 0 adds nothing to it.
    template <class Batch>
    void drawTree(Batch* batch) const {
        float fade = 1.0f;
        if (children.empty()) {
            fade = alpha;
        } else if (!flying) {
            for (const FireworksRocket* child : children) child->drawTree(batch);
        }
        if (Batch::kSkipsInvisible && !(fade > 0.0f)) return;
        for (const FireworksParticle* spark : sparks) spark->drawSpark(fade, batch);
    }
    // Sparks of this rocket and all its descendants.
    int sparkCount() const;
    // Every descendant (and its sparks) back to the fields of a new particle, as they
    // are before their first launch.
    void forgetDescendants();

    float size;
    // Multiplies the colour a burst draws; children made by addChildren take it on.
    Rgb burstTint = {1.0f, 1.0f, 1.0f};
    std::vector<FireworksRocket*> children;
    // Into sparkStore_: one block per rocket, so an update walks its sparks in order.
    std::vector<FireworksParticle*> sparks;

private:
    std::vector<FireworksParticle> sparkStore_;
};

// What a production sets of its fireworks; the defaults are the greeting's. The random
// draws are the same whatever the colours, so only the counts change the sequence.
struct FireworksParams {
    int rockets = 3;              // top-level rockets in the air at once, at least 1
    int sparksPerRocket = 100;    // each rocket's trail (and each child's), 0 or more
    int childrenPerRocket = 400;  // child rockets of one burst, 0 or more
    float sparkSize = 0.15f;      // billboard edge, world units
    Rgb rocketColour = {1.0f, 0.6f, 0.2f};  // the rising rockets and their trails
    // Multiplies each burst's colour, which is drawn at random (0.2 to 1 a channel).
    Rgb burstTint = {1.0f, 1.0f, 1.0f};
    // The 16:9 viewport inside the window (bars where the window is not 16:9); false:
    // the whole window, with its own aspect.
    bool letterbox = true;
};

class Fireworks : public Scene {
public:
    // Counts out of their ranges are fatal here.
    explicit Fireworks(const FireworksParams& params = {});
    ~Fireworks() override;

    bool init() override;
    std::vector<std::string> assets() const override { return {"data/common/images/own_particle_256.png", "billboard.vert", "billboard.frag", "sprite.vert"}; }
    void draw() override;
    bool opensWithSplats() const override;
    bool drewOnlySplats() const override;
    // Updates the rockets at the stream's beat.
    void simulate() override;
    void restart() override;
    // Every rocket, child and spark in tree order.
    void saveState(std::vector<unsigned char>* out) const override;
    void loadState(const std::vector<unsigned char>& in) override;
    // The base letterbox, or the whole window (see FireworksParams).
    void resize(int width, int height) override;

    const FireworksParams& params() const { return params_; }

    // The rockets of init (params().rockets), launched at beat 0 (random draws, no OpenGL).
    void createRockets();
    // Updates every rocket at beat() (read anew per rocket); relaunches a dead one.
    void updateRockets(const std::function<float()>& beat);
    // The beat from the stream position, with the shared wrap state.
    float streamBeat();

    std::vector<FireworksRocket*> rockets;
    Texture particleTexture;
    ShaderProgram* billboardProgram = nullptr;

private:
    FireworksParams params_;
    BillboardBatch* batch_ = nullptr;
    SpriteBatch* sprites_ = nullptr;  // made on the first draw on the fast path
    SplatBatch* splats_ = nullptr;    // made on the first draw on the cpu path
    // The top-level rockets and their sparks as init launched them, in tree order; their
    // children had not been launched yet.
    std::vector<FireworksParticle> initialState_;
};
