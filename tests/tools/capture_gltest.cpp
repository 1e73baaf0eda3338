// The capture path on a real OpenGL context: read-back through the two pixel buffer
// objects against a plain glReadPixels, sizes beyond the window, a soak of the fireworks
// section to beat 5000 and 200 window resizes during a run.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <malloc.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/session.h"
#include "scenes/scene/scene.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_starfield/scene_starfield.h"
#include "scenes/scenemanager.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/util/profile.h"
#include "util/util/random.h"
#include "util/util/util.h"

namespace {

// The test window of the GL test entry is 320 x 180.
constexpr int kWindowWidth = 320;

std::unique_ptr<offline::Production> startProduction(offline::Rate rate, int width, int height) {
    setDataMode(Disk);  // the loose tree of the test folder; no archive needed
    offline::ProductionOptions options;
    options.rate = rate;
    options.seed = 7;
    testing::internal::CaptureStdout();
    auto production = std::make_unique<offline::Production>(options, width, height);
    testing::internal::GetCapturedStdout();
    return production;
}

// The frame of a music beat at this rate.
int64_t frameOfBeat(const offline::Production& p, double beat) {
    return offline::firstFrameAtOrAfter(p.options.rate, beat * 60.0 / p.bpm());
}

std::vector<unsigned char> readDirectly(GLuint framebuffer, int width, int height) {
    std::vector<unsigned char> pixels(size_t(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::vector<unsigned char> mapSlot(offline::CaptureTarget& target, int slot, int* w, int* h) {
    const unsigned char* p = target.map(slot, w, h);
    std::vector<unsigned char> copy(p, p + size_t(*w) * *h * 4);
    target.unmap(slot);
    return copy;
}

int litPixels(const std::vector<unsigned char>& rgba) {
    int lit = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) lit += rgba[i] + rgba[i + 1] + rgba[i + 2] > 30;
    return lit;
}

TEST(CaptureReadBack, PixelBuffersHoldFrameNMinusOneWhileFrameNRenders) {
    // Larger than the window in both directions, odd sizes.
    struct Case {
        int width, height, samples;
    } cases[] = {{801, 451, 0}, {1001, 563, 4}};
    for (const Case& c : cases) {
        ASSERT_EQ("", offline::sizeRefusal(c.width, c.height, c.samples));
        auto production = startProduction(offline::Rate{4, 1}, c.width, c.height);
        offline::CaptureTarget target(c.width, c.height, c.samples);
        // Frame A (the greeting alone) into slot 0, frame B (the picture) into slot 1.
        production->drawFrame(frameOfBeat(*production, 10.0), &target);
        target.queueRead(0);
        std::vector<unsigned char> directA = readDirectly(target.readFramebuffer(), c.width, c.height);
        production->drawFrame(frameOfBeat(*production, 36.0), &target);
        target.queueRead(1);
        std::vector<unsigned char> directB = readDirectly(target.readFramebuffer(), c.width, c.height);
        int w = 0, h = 0;
        std::vector<unsigned char> slotA = mapSlot(target, 0, &w, &h);
        EXPECT_EQ(c.width, w);
        EXPECT_EQ(c.height, h);
        std::vector<unsigned char> slotB = mapSlot(target, 1, &w, &h);
        EXPECT_TRUE(slotA == directA) << c.width << "x" << c.height << ": slot 0 is frame A";
        EXPECT_TRUE(slotB == directB) << c.width << "x" << c.height << ": slot 1 is frame B";
        EXPECT_FALSE(slotA == slotB) << "two different frames";
        // The greeting is sparse white text; the picture fills the frame.
        int litA = litPixels(slotA), litB = litPixels(slotB), all = c.width * c.height;
        EXPECT_GT(litA, all / 200) << "the greeting shows";
        EXPECT_LT(litA, all / 2);
        EXPECT_GT(litB, all * 8 / 10) << "the picture fills the frame";
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
}

TEST(CaptureReadBack, ImpossibleSizesAreRefusedWithTheLimit) {
    GLint renderbuffer = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    std::string refusal = offline::sizeRefusal(renderbuffer + 1, 16, 0);
    EXPECT_NE(std::string::npos, refusal.find("renderbuffer limit " + std::to_string(renderbuffer))) << refusal;
    EXPECT_NE(std::string::npos, offline::sizeRefusal(64, 64, 1000).find("samples")) << "1000 samples";
    EXPECT_EQ("", offline::sizeRefusal(1, 1, 0));
}

// What a frame may not leave behind for the next one.
struct GLStateSnapshot {
    GLint values[14];
    bool operator==(const GLStateSnapshot& o) const { return memcmp(values, o.values, sizeof values) == 0; }
    static GLStateSnapshot take() {
        static const GLenum names[14] = {
            GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH,
            GL_ATTRIB_STACK_DEPTH,    GL_CLIENT_ATTRIB_STACK_DEPTH, GL_CURRENT_PROGRAM,
            GL_ACTIVE_TEXTURE,        GL_TEXTURE_BINDING_2D,      GL_ARRAY_BUFFER_BINDING,
            GL_ELEMENT_ARRAY_BUFFER_BINDING, GL_PIXEL_PACK_BUFFER_BINDING, GL_BLEND_SRC,
            GL_BLEND_DST,             GL_MATRIX_MODE};
        GLStateSnapshot s;
        for (int i = 0; i < 14; ++i) glGetIntegerv(names[i], &s.values[i]);
        return s;
    }
    std::string describe() const {
        static const char* names[14] = {"modelview depth", "projection depth", "texture depth", "attrib depth",
                                        "client attrib depth", "program", "active texture", "texture 2D",
                                        "array buffer", "element buffer", "pack buffer", "blend src", "blend dst",
                                        "matrix mode"};
        std::string text;
        for (int i = 0; i < 14; ++i) text += std::string(names[i]) + "=" + std::to_string(values[i]) + " ";
        return text;
    }
};

// The fireworks' particle tree: its shape may not change while it runs.
std::vector<int> sparkShape(const Fireworks* fireworks) {
    std::vector<int> shape;
    for (const FireworksRocket* rocket : fireworks->rockets) shape.push_back(rocket->sparkCount());
    return shape;
}

template <class T>
T* sceneOf(SceneManager* manager) {
    for (Scene* scene : manager->scenes)
        if (T* s = dynamic_cast<T*>(scene)) return s;
    return nullptr;
}

// The fireworks section through the capture path to beat 5000 (the end of its window)
// at 2 frames per second of music time, every frame read back and none written. The
// soundtrack is 61.5 s long: the stream loops, and Music's wrap compensation carries the
// beat on upward past each restart, so the manager never sees the stream stop.
//
// Memory: the GL tests run llvmpipe's rasterizer on the calling thread with one malloc
// arena (see the GL test entry), so the resident size is what this process holds. It
// is sampled, free heap returned first, every 8 frames from beat 152 (the section's
// first 100 beats past) and may not rise more than 1 MB above its first sample there.
// (On llvmpipe about 10 KB is seen; a leak of 256 bytes a frame fails.)
TEST(CaptureSoak, FireworksToBeat5000WithoutGLErrorsGrowthOrLeakingState) {
    auto production = startProduction(offline::Rate{2, 1}, 64, 36);
    production->loopMusic();
    offline::CaptureTarget target(64, 36, 0);
    SceneManager* manager = production->manager;
    Fireworks* fireworks = sceneOf<Fireworks>(manager);
    ASSERT_NE(nullptr, fireworks);
    const std::vector<int> shape = sparkShape(fireworks);

    constexpr float kBaseBeat = 152.0f;
    int64_t frame = frameOfBeat(*production, 52.0);
    int64_t baseResident = 0, peakResident = 0;  // bytes, from beat 152 on
    float peakBeat = 0.0f;
    int frames = 0, glErrors = 0, stateChanges = 0;
    float beat = 0.0f, lastBeat = -1.0f;
    GLStateSnapshot first{};
    const int64_t startNs = profile::nowNs();
    // At most twice the frames that 4948 beats need, should the beat lag.
    const int64_t limit = frame + 2 * (frameOfBeat(*production, 5000.0) - frame);
    while (frame < limit && beat < 5000.0f) {
        production->drawFrame(frame, &target);
        target.queueRead(frames & 1);
        if (frames > 0) {
            int w = 0, h = 0;
            target.map((frames - 1) & 1, &w, &h);
            target.unmap((frames - 1) & 1);
        }
        GLenum error = glGetError();
        if (error != GL_NO_ERROR && glErrors++ < 3)
            ADD_FAILURE() << "GL error 0x" << std::hex << error << " at beat " << beat;
        GLStateSnapshot now = GLStateSnapshot::take();
        if (frames == 0) first = now;
        else if (!(now == first) && stateChanges++ < 3)
            ADD_FAILURE() << "state after frame " << frames << ": " << now.describe() << "\nafter the first: "
                          << first.describe();
        ++frames;
        ++frame;
        beat = manager->music->beat();
        if (beat < lastBeat) ADD_FAILURE() << "the beat went back from " << lastBeat << " to " << beat;
        lastBeat = beat;
        if (beat >= kBaseBeat && frames % 8 == 0) {
            malloc_trim(0);  // what the heap freed goes back first: retention is no growth
            int64_t resident = offline::residentBytes();
            if (baseResident == 0) baseResident = resident;
            if (resident > peakResident) {
                peakResident = resident;
                peakBeat = beat;
            }
        }
    }
    const double seconds = double(profile::nowNs() - startNs) * 1e-9;
    printf("soak: %d frames to beat %.1f in %.1f s; resident %.2f MiB at beat %.0f, at most %.2f MiB (beat %.0f)\n",
           frames, beat, seconds, baseResident / 1048576.0, kBaseBeat, peakResident / 1048576.0, peakBeat);
    EXPECT_GE(beat, 5000.0f) << "the soak reaches the end of the fireworks' window";
    EXPECT_EQ(0, glErrors);
    EXPECT_EQ(0, stateChanges);
    EXPECT_EQ(0, production->quitEvents()) << "the looping stream never stops";
    ASSERT_GT(baseResident, 0);
    constexpr int64_t kAllowedGrowth = 1000000;  // bytes
    EXPECT_LE(peakResident - baseResident, kAllowedGrowth)
        << "resident memory grew by " << (peakResident - baseResident) << " bytes after beat 152 (peak at beat "
        << peakBeat << ")";
    EXPECT_EQ(shape, sparkShape(fireworks)) << "the particle tree keeps its shape";
    EXPECT_EQ(5u, manager->scenes.size());
}

// A window resize reaches the manager and the capture target between frames, 200 times,
// through small, odd, wide, tall and larger-than-window sizes.
TEST(CaptureResize, TwoHundredResizesDuringARunFollowTheFboAndTheScenes) {
    auto production = startProduction(offline::Rate{10, 1}, 160, 90);
    offline::CaptureTarget target(160, 90, 0);
    SceneManager* manager = production->manager;
    Scene* fireworks = sceneOf<Fireworks>(manager);
    Scene* starfield = sceneOf<Starfield>(manager);
    ASSERT_NE(nullptr, fireworks);
    ASSERT_NE(nullptr, starfield);
    const bool npot = GLEW_ARB_texture_non_power_of_two;
    int64_t frame = frameOfBeat(*production, 60.0);
    int failures = 0;
    for (int i = 0; i < 200 && failures < 5; ++i) {
        int w, h;
        switch (i % 5) {
            case 0: w = 1 + i % 7; h = 1 + i % 3; break;                  // tiny
            case 1: w = 33 + 17 * i; h = 19 + 3 * i; break;               // growing, odd
            case 2: w = 900 + i; h = 60; break;                           // wide
            case 3: w = 50; h = 700 + i; break;                           // tall
            default: w = kWindowWidth * 3 + i; h = 1080 + i; break;       // beyond the window
        }
        production->resize(w, h, &target);
        if (npot && (manager->fbo->width != w || manager->fbo->height != h)) {
            ++failures;
            ADD_FAILURE() << "resize " << i << " to " << w << "x" << h << ": Fbo is " << manager->fbo->width << "x"
                          << manager->fbo->height;
        }
        if (!npot && (manager->fbo->width < w || manager->fbo->height < h)) {
            ++failures;
            ADD_FAILURE() << "resize " << i << ": Fbo " << manager->fbo->width << "x" << manager->fbo->height
                          << " smaller than " << w << "x" << h;
        }
        production->drawFrame(frame++, &target);
        target.queueRead(0);
        int gotW = 0, gotH = 0;
        target.map(0, &gotW, &gotH);
        target.unmap(0);
        GLenum error = glGetError();
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        Letterbox box = letterbox(w, h);
        bool ok = error == GL_NO_ERROR && gotW == w && gotH == h && target.width() == w && target.height() == h &&
                  fireworks->width == w && fireworks->height == h && starfield->width == w &&
                  viewport[2] == w && viewport[3] == box.viewportHeight && viewport[1] == box.y;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "resize " << i << " to " << w << "x" << h << ": GL error 0x" << std::hex << error
                          << std::dec << ", read " << gotW << "x" << gotH << ", scene " << fireworks->width << "x"
                          << fireworks->height << ", viewport " << viewport[0] << "," << viewport[1] << " "
                          << viewport[2] << "x" << viewport[3] << " (letterbox y " << box.y << ", height "
                          << box.viewportHeight << ")";
        }
    }
    EXPECT_EQ(0, failures);
}

}  // namespace

namespace {

// Everything the particle scenes carry from frame to frame, as numbers in tree order,
// and the generator's next draw (which it consumes).
void appendParticle(const FireworksParticle& p, std::vector<float>* out) {
    const float fields[] = {p.position.x, p.position.y, p.position.z, p.direction.x, p.direction.y,
                            p.direction.z, p.speed, p.start, p.lifetime, p.colour[0], p.colour[1],
                            p.colour[2], p.alpha, p.age, float(p.flying)};
    out->insert(out->end(), std::begin(fields), std::end(fields));
}
void appendRocket(const FireworksRocket& r, std::vector<float>* out) {
    appendParticle(r, out);
    for (const FireworksParticle* spark : r.sparks) appendParticle(*spark, out);
    for (const FireworksRocket* child : r.children) appendRocket(*child, out);
}
std::vector<float> particleState(offline::Production& p) {
    std::vector<float> state;
    for (Scene* scene : p.manager->scenes) {
        if (auto* s = dynamic_cast<Starfield*>(scene))
            state.insert(state.end(), &s->stars[0].position[0], &s->stars[0].position[0] + kStarCount * 9);
        if (auto* f = dynamic_cast<Fireworks*>(scene))
            for (const FireworksRocket* r : f->rockets) appendRocket(*r, &state);
    }
    state.push_back(float(nextRandom()));
    return state;
}

}  // namespace

TEST(CaptureSeek, ThereAndBackGivesTheParticleStateOfAStraightRun) {
    const offline::Rate rate{8, 1};
    const int64_t at = 8 * 36;  // beat 72, 20 beats into the fireworks
    std::vector<float> straight;
    {
        auto production = startProduction(rate, 64, 36);
        offline::CaptureTarget target(64, 36, 0);
        for (int64_t n = 0; n < at; ++n) production->drawFrame(n, &target);
        straight = particleState(*production);
    }
    auto production = startProduction(rate, 64, 36);
    production->seek(at + 80);
    std::vector<float> later = particleState(*production);
    production->seek(at);
    std::vector<float> back = particleState(*production);
    ASSERT_EQ(straight.size(), back.size());
    size_t differing = 0;
    for (size_t i = 0; i < straight.size(); ++i) differing += memcmp(&straight[i], &back[i], sizeof(float)) != 0;
    EXPECT_EQ(0u, differing) << "of " << straight.size() << " values";
    EXPECT_NE(straight, later) << "ten seconds later the particles have moved";
}

namespace {

// Everything a replay carries beyond the particles: the frame timer, the beat clock's
// wrap state and the music's update history, as bytes.
std::vector<unsigned char> clockState(offline::Production& p) {
    std::vector<unsigned char> bytes;
    auto append = [&bytes](const void* data, size_t size) {
        const unsigned char* b = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), b, b + size);
    };
    FrameTimerState timer = frameTimerState();
    append(&timer.secondsPerTick, sizeof timer.secondsPerTick);
    append(&timer.startCount, sizeof timer.startCount);
    append(&timer.slotIndex, sizeof timer.slotIndex);
    append(timer.slots, sizeof timer.slots);
    append(&timer.previousTime, sizeof timer.previousTime);
    append(&timer.frameTime, sizeof timer.frameTime);
    BeatWrapState wrap = beatWrapState();
    append(&wrap, sizeof wrap);
    const Music* music = p.manager->music;
    append(music->beatHistory, sizeof music->beatHistory);
    append(music->positionHistory, sizeof music->positionHistory);
    append(&music->beatAdvance, sizeof music->beatAdvance);
    append(&music->bytesAdvance, sizeof music->bytesAdvance);
    return bytes;
}

}  // namespace

TEST(CaptureSeek, KeptStatesGiveExactlyTheReplaysStateTimerAndGeneratorIncluded) {
    const offline::Rate rate{8, 1};
    // Beats 20 into the fireworks, between two kept states, and one right on a state.
    const int64_t targets[] = {8 * 36 + 3, 8 * 35};
    for (int64_t at : targets) {
        std::vector<float> replayed;
        std::vector<unsigned char> replayedClock;
        {
            auto production = startProduction(rate, 64, 36);
            production->seek(at);
            replayedClock = clockState(*production);
            replayed = particleState(*production);
        }
        auto production = startProduction(rate, 64, 36);
        production->keepStates(8 * 60, 7);
        EXPECT_EQ(size_t(8 * 60 / 7 + 1), production->keptStates());
        // Far later first, so that the state comes from a kept one, not from the run.
        production->seek(at + 100);
        production->seek(at);
        EXPECT_EQ(replayedClock, clockState(*production)) << "frame " << at;
        std::vector<float> kept = particleState(*production);
        ASSERT_EQ(replayed.size(), kept.size());
        size_t differing = 0;
        for (size_t i = 0; i < kept.size(); ++i) differing += memcmp(&replayed[i], &kept[i], sizeof(float)) != 0;
        EXPECT_EQ(0u, differing) << "frame " << at << ": of " << kept.size() << " values (the generator's next draw last)";
    }
}
