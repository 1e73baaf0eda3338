// Drawn over the starfield from beat 52 on: rockets rise with spark trails, each bursts
// into child rockets with trails of their own that fade out; a rocket whose whole family
// has died is relaunched. All motion is linear in music beats.
#pragma once

#include <functional>
#include <vector>

#include "scenes/scene/billboards.h"
#include "scenes/scene/scene.h"
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
    // Adds this particle's billboard with alpha * fade.
    void drawSpark(float fade, BillboardBatch* batch) const;

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

    // Launches every child from here with one shared colour, speed and lifetime.
    void burst(float t);
    void addChildren(int count, int depth);
    void drawTree(BillboardBatch* batch) const;
    // Sparks of this rocket and all its descendants.
    int sparkCount() const;
    // Every descendant (and its sparks) back to the fields of a new particle, as they
    // are before their first launch.
    void forgetDescendants();

    float size;
    std::vector<FireworksRocket*> children;
    std::vector<FireworksParticle*> sparks;
};

class Fireworks : public Scene {
public:
    Fireworks();
    ~Fireworks() override;

    bool init() override;
    void draw() override;
    // Updates the rockets at the stream's beat.
    void simulate() override;
    void restart() override;

    // The three rockets of init, launched at beat 0 (random draws, no OpenGL).
    void createRockets();
    // Updates every rocket at beat() (read anew per rocket); relaunches a dead one.
    void updateRockets(const std::function<float()>& beat);
    // The beat from the stream position, with the shared wrap state.
    float streamBeat();

    std::vector<FireworksRocket*> rockets;
    Texture particleTexture;
    ShaderProgram* billboardProgram = nullptr;

private:
    BillboardBatch* batch_ = nullptr;
    // The top-level rockets and their sparks as init launched them, in tree order; their
    // children had not been launched yet.
    std::vector<FireworksParticle> initialState_;
};
