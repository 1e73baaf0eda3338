#include "scenes/scene_fireworks/scene_fireworks.h"

#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "log.h"
#include "scenes/scene/shaderset.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/profile.h"

namespace {

// A top-level rocket's launch draws: z, x (with the given span), angle, speed, lifetime.
struct LaunchDraws {
    float x, z, angle, speed, lifetime;
};
LaunchDraws drawLaunch(float xSpan) {
    LaunchDraws d;
    d.z = randomUnit() * 50.0f;
    d.x = randomUnit() * xSpan - 10.0f;
    d.angle = randomUnit() * 60.0f - 30.0f;
    d.speed = randomUnit() * 5.0f + 1.0f;
    d.lifetime = randomUnit() * 2.0f + 1.0f;
    return d;
}

}  // namespace

Vec4 rocketLaunchDirection(float angle) {
    if (angle == 0.0f) return {0.0f, 1.0f, 0.0f, 1.0f};
    double a = angle * 0.017453292519943295;
    return {static_cast<float>(-sin(a)), static_cast<float>(cos(a)), 0.0f, 1.0f};
}

Vec4 randomSphereDirection() {
    float u = 2.0f * randomUnit() - 1.0f;
    float s = sqrtf(1.0f - u * u);
    float angle = randomUnit() * 6.2831855f - 3.1415927f;
    return {cosf(angle) * s, sinf(angle) * s, u, 1.0f};
}

FireworksParticle::FireworksParticle()
    : position{0.0f, 0.0f, 0.0f, 1.0f}, direction{0.0f, 0.0f, 0.0f, 1.0f} {}

void FireworksParticle::launch(Vec4 p, Vec4 d, float newSpeed, const float* newColour,
                               float newStart, float newLifetime) {
    position.x = p.x;
    position.y = p.y;
    position.z = p.z;
    direction.x = d.x;
    direction.y = d.y;
    direction.z = d.z;
    speed = newSpeed;
    colour[0] = newColour[0];
    colour[1] = newColour[1];
    colour[2] = newColour[2];
    start = newStart;
    lifetime = newLifetime;
    alpha = 1.0f;
    age = 0.0f;
    flying = true;
}

bool FireworksParticle::update(float t) {
    float previous = age;
    age = t - start;
    if (age > lifetime) return false;
    alpha = 1.0f - age / lifetime;
    position.x += direction.x * speed * (age - previous);
    position.y += direction.y * speed * (age - previous);
    position.z += direction.z * speed * (age - previous);
    return true;
}

FireworksRocket::FireworksRocket(int sparkCount, float sparkSize) : sparkStore_(sparkCount) {
    sparks.reserve(sparkStore_.size());
    for (FireworksParticle& spark : sparkStore_) sparks.push_back(&spark);
    size = sparkSize;
}

FireworksRocket::~FireworksRocket() {
    for (FireworksRocket* child : children) delete child;
}

void FireworksRocket::launch(Vec4 p, Vec4 d, float newSpeed, const float* newColour, float newStart,
                             float newLifetime) {
    FireworksParticle::launch(p, d, newSpeed, newColour, newStart, newLifetime);
    for (FireworksParticle* spark : sparks) {
        Vec4 sparkDirection = randomSphereDirection();
        float sparkLifetime = randomUnit() * 0.9f + 0.1f;
        spark->FireworksParticle::launch(position, sparkDirection, speed * 0.25f, colour, start, sparkLifetime);
    }
}

bool FireworksRocket::update(float t) {
    bool sparkAlive = false;
    bool childAlive = false;
    float previous = age;
    age = t - start;
    if (flying) {
        alpha = 1.0f - age / lifetime;
        position.x += direction.x * speed * (age - previous);
        position.y += direction.y * speed * (age - previous);
        position.z += direction.z * speed * (age - previous);
        if (lifetime < age) {
            flying = false;
            burst(t);
        }
    } else {
        for (FireworksRocket* child : children) {
            if (child->update(t)) childAlive = true;
        }
    }
    // While the rocket flies its trail is renewed; after the burst the sparks just die.
    for (FireworksParticle* spark : sparks) {
        // Sparks are plain particles: the qualified calls are direct, not virtual.
        if (spark->FireworksParticle::update(t)) {
            sparkAlive = true;
        } else if (flying) {
            Vec4 sparkDirection = randomSphereDirection();
            float sparkLifetime = randomUnit() * 1.5f + 0.3f;
            spark->FireworksParticle::launch(position, sparkDirection, speed * 0.25f, colour, t, sparkLifetime);
        }
    }
    return sparkAlive || flying || childAlive;
}

void FireworksRocket::burst(float t) {
    float burstColour[3];
    burstColour[0] = (randomUnit() * 0.8f + 0.2f) * burstTint.r;
    burstColour[1] = (randomUnit() * 0.8f + 0.2f) * burstTint.g;
    burstColour[2] = (randomUnit() * 0.8f + 0.2f) * burstTint.b;
    float burstSpeed = randomUnit() * 2.8f + 0.2f;
    float burstLifetime = randomUnit() * 10.0f + 2.0f;
    for (FireworksRocket* child : children) {
        Vec4 childDirection = randomSphereDirection();
        child->launch(position, childDirection, burstSpeed, burstColour, t, burstLifetime);
    }
}

void FireworksRocket::addChildren(int count, int depth) {
    if (depth == 0) {
        for (int i = 0; i < count; ++i) {
            children.push_back(new FireworksRocket(static_cast<int>(sparks.size()), size));
            children.back()->burstTint = burstTint;
        }
        return;
    }
    if (children.empty()) FATAL("Failed assert children.size() > 0");
    for (FireworksRocket* child : children) child->addChildren(count, depth - 1);
}

void FireworksRocket::forgetDescendants() {
    for (FireworksRocket* child : children) {
        child->forgetDescendants();
        static_cast<FireworksParticle&>(*child) = FireworksParticle();
        for (FireworksParticle* spark : child->sparks) *spark = FireworksParticle();
    }
}

int FireworksRocket::sparkCount() const {
    int count = static_cast<int>(sparks.size());
    for (const FireworksRocket* child : children) count += child->sparkCount();
    return count;
}

Fireworks::Fireworks(const FireworksParams& params) : params_(params) {
    if (params_.rockets < 1 || params_.sparksPerRocket < 0 || params_.childrenPerRocket < 0)
        FATAL("Fireworks of %i rockets with %i sparks and %i children each: at least one rocket, "
              "and no negative counts",
              params_.rockets, params_.sparksPerRocket, params_.childrenPerRocket);
    texture::init(&particleTexture);
}

void Fireworks::resize(int w, int h) {
    if (params_.letterbox) {
        Scene::resize(w, h);
    } else {
        windowPerspective(w, h, 2000.0);
    }
}

Fireworks::~Fireworks() {
    for (FireworksRocket* rocket : rockets) delete rocket;
    delete batch_;
    delete sprites_;
    delete splats_;
}

bool Fireworks::init() {
    blend = true;
    lighting = false;
    colorMaterial = false;
    depthTest = false;
    texture::load(GL_LINEAR, GL_LINEAR, &particleTexture, "data/common/images/own_particle_256.png",
                  true, true);
    noteSplatTexture(particleTexture.name);
    billboardProgram = shaders->require(&ShaderSet::billboard);
    createRockets();
    initialState_.clear();
    for (const FireworksRocket* rocket : rockets) {
        initialState_.push_back(*rocket);
        for (const FireworksParticle* spark : rocket->sparks) initialState_.push_back(*spark);
    }
    return true;
}

void Fireworks::simulate() {
    profile::Scope simulation(profile::kSimulation);
    updateRockets([this] { return streamBeat(); });
}

void Fireworks::restart() {
    size_t next = 0;
    for (FireworksRocket* rocket : rockets) {
        if (next >= initialState_.size()) break;
        static_cast<FireworksParticle&>(*rocket) = initialState_[next++];
        for (FireworksParticle* spark : rocket->sparks) *spark = initialState_[next++];
        rocket->forgetDescendants();
    }
}

namespace {

// A particle's fields without its virtual table, as a kept state holds them.
struct ParticleRecord {
    Vec4 position;
    Vec4 direction;
    float speed, start, lifetime;
    float colour[3];
    float alpha, age;
    bool flying;
};

void saveParticle(const FireworksParticle& p, std::vector<unsigned char>* out) {
    ParticleRecord r{p.position, p.direction, p.speed, p.start, p.lifetime, {p.colour[0], p.colour[1], p.colour[2]},
                     p.alpha, p.age, p.flying};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
    out->insert(out->end(), bytes, bytes + sizeof r);
}

void saveTree(const FireworksRocket& rocket, std::vector<unsigned char>* out) {
    saveParticle(rocket, out);
    for (const FireworksParticle* spark : rocket.sparks) saveParticle(*spark, out);
    for (const FireworksRocket* child : rocket.children) saveTree(*child, out);
}

void loadParticle(FireworksParticle* p, const unsigned char** cursor) {
    ParticleRecord r;
    memcpy(&r, *cursor, sizeof r);
    *cursor += sizeof r;
    p->position = r.position;
    p->direction = r.direction;
    p->speed = r.speed;
    p->start = r.start;
    p->lifetime = r.lifetime;
    for (int i = 0; i < 3; ++i) p->colour[i] = r.colour[i];
    p->alpha = r.alpha;
    p->age = r.age;
    p->flying = r.flying;
}

void loadTree(FireworksRocket* rocket, const unsigned char** cursor) {
    loadParticle(rocket, cursor);
    for (FireworksParticle* spark : rocket->sparks) loadParticle(spark, cursor);
    for (FireworksRocket* child : rocket->children) loadTree(child, cursor);
}

int treeParticles(const FireworksRocket& rocket) {
    int count = 1 + int(rocket.sparks.size());
    for (const FireworksRocket* child : rocket.children) count += treeParticles(*child);
    return count;
}

}  // namespace

void Fireworks::saveState(std::vector<unsigned char>* out) const {
    for (const FireworksRocket* rocket : rockets) saveTree(*rocket, out);
}

void Fireworks::loadState(const std::vector<unsigned char>& in) {
    size_t particles = 0;
    for (const FireworksRocket* rocket : rockets) particles += size_t(treeParticles(*rocket));
    if (in.size() != particles * sizeof(ParticleRecord))
        FATAL("A fireworks state of %zu bytes for %zu particles", in.size(), particles);
    const unsigned char* cursor = in.data();
    for (FireworksRocket* rocket : rockets) loadTree(rocket, &cursor);
}

void Fireworks::createRockets() {
    const float colour[3] = {params_.rocketColour.r, params_.rocketColour.g, params_.rocketColour.b};
    for (int i = 0; i < params_.rockets; ++i) {
        LaunchDraws d = drawLaunch(10.0f);
        FireworksRocket* rocket = new FireworksRocket(params_.sparksPerRocket, params_.sparkSize);
        rocket->burstTint = params_.burstTint;
        rockets.push_back(rocket);
        rocket->launch({d.x, 0.0f, d.z, 1.0f}, rocketLaunchDirection(d.angle), d.speed, colour, 0.0f,
                       d.lifetime);
        rocket->addChildren(params_.childrenPerRocket, 0);
    }
    int total = 0;
    for (const FireworksRocket* rocket : rockets) total += rocket->sparkCount();
    delete batch_;
    batch_ = new BillboardBatch(total);
}

void Fireworks::updateRockets(const std::function<float()>& beat) {
    const float colour[3] = {params_.rocketColour.r, params_.rocketColour.g, params_.rocketColour.b};
    for (FireworksRocket* rocket : rockets) {
        if (rocket->update(beat())) continue;
        LaunchDraws d = drawLaunch(20.0f);
        float start = beat();
        rocket->launch({d.x, 0.0f, d.z, 1.0f}, rocketLaunchDirection(d.angle), d.speed, colour,
                       start, d.lifetime);
    }
}

float Fireworks::streamBeat() {
    QWORD bytes = BASS_ChannelGetPosition(music->stream, BASS_POS_BYTE);
    double seconds = BASS_ChannelBytes2Seconds(music->stream, bytes);
    return beatFromSeconds(seconds, music->bpm, music->beatOffset);
}

bool Fireworks::opensWithSplats() const { return resolvedParticlePath() == ParticlePath::Cpu; }
bool Fireworks::drewOnlySplats() const { return resolvedParticlePath() == ParticlePath::Cpu; }

void Fireworks::draw() {
    gluLookAt(0, 0, -10, 0, 2, 0, 0, 1, 0);
    // The rockets were updated by simulate, just before this draw.

    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    bindBillboardProgram(billboardProgram, particleTexture.name);

    const ParticlePath path = particlePath();
    if (path == ParticlePath::Cpu) {
        if (!splats_) splats_ = new SplatBatch(batch_->capacity());
        splats_->start(particleTexture.name, true);
        for (const FireworksRocket* rocket : rockets) {
            splats_->begin(rocket->size);
            rocket->drawTree(splats_);
        }
        splats_->draw(billboardProgram);
        return;
    }
    if (path == ParticlePath::Fast) {
        if (!sprites_) sprites_ = new SpriteBatch(batch_->capacity());
        for (const FireworksRocket* rocket : rockets) {
            sprites_->begin(rocket->size);
            rocket->drawTree(sprites_);
            sprites_->draw(billboardProgram);
        }
        return;
    }
    batch_->clear();
    for (const FireworksRocket* rocket : rockets) {
        billboardProgram->setUniform1f("size", rocket->size);
        int first = batch_->count();
        rocket->drawTree(batch_);
        batch_->draw(first, batch_->count() - first);
    }
}
