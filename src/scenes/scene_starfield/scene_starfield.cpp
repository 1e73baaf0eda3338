#include "scenes/scene_starfield/scene_starfield.h"

#include <GL/glu.h>
#include <SDL.h>

#include <cmath>
#include <cstring>

#include "log.h"
#include "platform/msgbox.h"
#include "scenes/scene/shaderset.h"
#include "util/music/music.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/profile.h"
#include "util/util/util.h"

void resetStar(Star* star) {
    star->position[0] = 0.0f;
    star->position[1] = 0.0f;
    star->position[2] = 0.0f;
    float speed = randomUnit() * 14.5f + 0.5f;
    float z = randomUnit() * 0.19949996f + 0.8f;
    float s = sqrtf(1.0f - z * z);
    float angle = randomUnit() * 6.2831855f - 3.1415927f;
    float x = cosf(angle) * s;
    float y = sinf(angle) * s;
    star->velocity[0] = x * speed;
    star->velocity[1] = y * speed;
    star->velocity[2] = z * speed;
    float h = randomUnit();
    star->colour[0] = h + randomUnit() * 0.1f;
    star->colour[1] = h;
    star->colour[2] = h + randomUnit() * 0.2f;
}

void updateStars(Star* stars, int count, float dt) {
    for (int i = 0; i < count; ++i) {
        Star& star = stars[i];
        for (int axis = 0; axis < 3; ++axis) star.position[axis] += star.velocity[axis] * dt * 5.0f;
        if (star.position[2] > kStarResetZ) resetStar(&star);
    }
}

Starfield::ProcLookup Starfield::procLookup = SDL_GL_GetProcAddress;

namespace {

// The parameters' star count, checked before anything is sized by it.
int checkedCount(const StarfieldParams& p) {
    if (p.count < 1) FATAL("A starfield needs at least one star, not %i", p.count);
    return p.count;
}

}  // namespace

Starfield::Starfield(const StarfieldParams& params) : params_(params), batch_(checkedCount(params)) {
    texture::init(&particleTexture);
    stars = static_cast<Star*>(calloc(size_t(params_.count), sizeof(Star)));
    initialStars = static_cast<Star*>(calloc(size_t(params_.count), sizeof(Star)));
    if (!stars || !initialStars) FATAL("Failed to allocate memory for %i stars", params_.count);
}

Starfield::~Starfield() {
    free(stars);
    free(initialStars);
    delete sprites_;
    delete splats_;
}

bool Starfield::init() {
    blend = true;
    lighting = false;
    colorMaterial = false;
    depthTest = false;

    pointParameterf = reinterpret_cast<void (*)(GLenum, GLfloat)>(procLookup("glPointParameterfARB"));
    pointParameterfv =
        reinterpret_cast<void (*)(GLenum, const GLfloat*)>(procLookup("glPointParameterfvARB"));
    if (!pointParameterf || !pointParameterfv) {
        platform::messageBox("One or more GL_ARB_point_parameters functions were not found", "ERROR",
                             platform::MB_OK | platform::MB_ICONWARNING);
        return false;
    }

    texture::load(GL_LINEAR, GL_LINEAR, &particleTexture, "data/common/images/own_particle_256.png",
                  true, true);
    noteSplatTexture(particleTexture.name);
    billboardProgram = shaders->require(&ShaderSet::billboard);
    for (int i = 0; i < params_.count; ++i) resetStar(&stars[i]);
    memcpy(initialStars, stars, sizeof(Star) * size_t(params_.count));
    ready = true;
    return true;
}

void Starfield::simulate() {
    if (!ready) return;
    profile::Scope simulation(profile::kSimulation);
    updateStars(stars, params_.count, frameTime);
}

void Starfield::restart() { memcpy(stars, initialStars, sizeof(Star) * size_t(params_.count)); }

void Starfield::saveState(std::vector<unsigned char>* out) const {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(stars);
    out->insert(out->end(), bytes, bytes + sizeof(Star) * size_t(params_.count));
}

void Starfield::loadState(const std::vector<unsigned char>& in) {
    if (in.size() != sizeof(Star) * size_t(params_.count)) FATAL("A starfield state of %zu bytes", in.size());
    memcpy(stars, in.data(), in.size());
}

void Starfield::resize(int w, int h) {
    if (params_.letterbox) {
        letterboxPerspective(w, h, 150.0);
    } else {
        windowPerspective(w, h, 150.0);
    }
}

bool Starfield::opensWithSplats() const { return resolvedParticlePath() == ParticlePath::Cpu; }
bool Starfield::drewOnlySplats() const { return resolvedParticlePath() == ParticlePath::Cpu; }

void Starfield::draw() {
    if (!ready) return;

    float swayX = 0.1f * sinf(0.3f * music->beat());
    float swayY = 0.1f * cosf(0.1f * music->beat());
    gluLookAt(swayX, swayY, 148.50000143051147, 0, 0, 0, 0, 1, 0);
    // The stars were moved by simulate, just before this draw.
    CHECK_GL();

    // Each star's colour as drawn: its own, times the tint and the glow.
    float gain = 1.0f;
    if (!params_.glowModulator.empty())
        gain += syncValue(music->midi, params_.glowModulator.c_str(), music->beat());
    const float r = params_.tint.r * gain, g = params_.tint.g * gain, b = params_.tint.b * gain;

    glBlendFunc(GL_ONE, GL_ONE);
    bindBillboardProgram(billboardProgram, particleTexture.name);
    billboardProgram->setUniform1f("size", params_.size);

    const ParticlePath path = particlePath();
    if (path == ParticlePath::Cpu) {
        if (!splats_) splats_ = new SplatBatch(params_.count);
        splats_->start(particleTexture.name, false);
        splats_->begin(params_.size);
        for (int i = 0; i < params_.count; ++i) {
            const Star& star = stars[i];
            splats_->add(star.position[0], star.position[1], star.position[2], star.colour[0] * r,
                         star.colour[1] * g, star.colour[2] * b, 1.0f);
        }
        splats_->draw(billboardProgram);
        CHECK_GL();
        return;
    }
    if (path == ParticlePath::Fast) {
        if (!sprites_) sprites_ = new SpriteBatch(params_.count);
        sprites_->begin(params_.size);
        for (int i = 0; i < params_.count; ++i) {
            const Star& star = stars[i];
            sprites_->add(star.position[0], star.position[1], star.position[2], star.colour[0] * r,
                          star.colour[1] * g, star.colour[2] * b, 1.0f);
        }
        sprites_->draw(billboardProgram);
        CHECK_GL();
        return;
    }
    batch_.clear();
    for (int i = 0; i < params_.count; ++i) {
        const Star& star = stars[i];
        batch_.add(star.position[0], star.position[1], star.position[2], star.colour[0] * r,
                   star.colour[1] * g, star.colour[2] * b, 1.0f);
    }
    batch_.draw(0, batch_.count());
    CHECK_GL();
}
