// The scene system on a real OpenGL context: the scene base's state and projections,
// single scenes drawn alone, and whole frames of the production on the audio layer's
// offline clock, read back with glReadPixels.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/audio/offline.h"
#include "platform/system.h"
#include "scenes/scene/scene.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_imagedisplay/scene_imagedisplay.h"
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"
#include "scenes/scene_starfield/scene_starfield.h"
#include "scenes/scenemanager.h"
#include "util/ascii/asciiengine.h"
#include "util/fbo/fbo.h"
#include "util/music/music.h"
#include "util/util/random.h"

namespace {

// The test window opened by the GL test entry.
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 180;

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* at(int x, int y) const { return &rgba[4 * (y * width + x)]; }
};

// The frame just presented. SDL 1.2 on SDL 2 (sdl12-compat) draws into a framebuffer
// object of its own and keeps it bound, with its contents, across the swap; native
// SDL 1.2 draws into the window, where the presented frame is the front buffer.
Image presentedFrame(int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(4 * width * height);
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer == 0) glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
    return image;
}

bool isBlack(const unsigned char* p) { return p[0] < 8 && p[1] < 8 && p[2] < 8; }
bool isGrey(const unsigned char* p) {
    return std::abs(p[0] - p[1]) <= 3 && std::abs(p[1] - p[2]) <= 3;
}
bool isLineGreen(const unsigned char* p) { return p[1] > 150 && p[0] < 60 && p[2] < 60; }
// Stars are nearly grey (red and blue at most 0.1 and 0.2 above green); burst colours
// are drawn per channel.
bool isColoured(const unsigned char* p) {
    int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
    return hi - lo > 60;
}

GLint integer(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

std::vector<GLint> viewport() {
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    return {v[0], v[1], v[2], v[3]};
}

std::vector<float> matrix(GLenum which) {
    GLfloat m[16];
    glGetFloatv(which, m);
    return std::vector<float>(m, m + 16);
}

void drainGLErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

// A scene with every flag of its own choosing.
class FlagScene : public Scene {
public:
    bool init() override { return true; }
    void draw() override {}
};

TEST(SceneState, AppliesEveryFlagInBothDirectionsAndTheShadeModel) {
    drainGLErrors();
    const GLenum caps[16] = {GL_BLEND,  GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_COLOR_MATERIAL,
                             GL_NORMALIZE, GL_MULTISAMPLE, GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3,
                             GL_LIGHT4, GL_LIGHT5, GL_LIGHT6, GL_LIGHT7};
    const char* names[16] = {"blend", "depth test", "lighting", "texture 1D", "texture 2D", "colour material",
                             "normalize", "multisample", "light 0", "light 1", "light 2", "light 3",
                             "light 4", "light 5", "light 6", "light 7"};
    for (bool on : {false, true}) {
        FlagScene scene;
        bool* flags[16] = {&scene.blend, &scene.depthTest, &scene.lighting, &scene.texture1D,
                           &scene.texture2D, &scene.colorMaterial, &scene.normalize, &scene.multisample,
                           &scene.lights[0], &scene.lights[1], &scene.lights[2], &scene.lights[3],
                           &scene.lights[4], &scene.lights[5], &scene.lights[6], &scene.lights[7]};
        for (bool* f : flags) *f = on;
        scene.shadeModel = on ? GL_SMOOTH : GL_FLAT;
        // The opposite state first, so every switch is visible.
        for (GLenum cap : caps) on ? glDisable(cap) : glEnable(cap);
        glBindTexture(GL_TEXTURE_2D, 1);
        scene.applyState();
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(on, glIsEnabled(caps[i]) == GL_TRUE) << names[i] << " with all flags " << on;
        }
        EXPECT_EQ(on ? GL_SMOOTH : GL_FLAT, integer(GL_SHADE_MODEL));
        EXPECT_EQ(GL_SRC_ALPHA, integer(GL_BLEND_SRC));
        EXPECT_EQ(GL_ONE_MINUS_SRC_ALPHA, integer(GL_BLEND_DST));
        EXPECT_EQ(GL_LEQUAL, integer(GL_DEPTH_FUNC));
        EXPECT_EQ(0, integer(GL_TEXTURE_BINDING_2D));
        EXPECT_EQ(0, integer(GL_TEXTURE_BINDING_1D));
        EXPECT_EQ(0, integer(GL_CURRENT_PROGRAM));
        EXPECT_EQ(GL_NO_ERROR, glGetError());
    }
}

template <class Params>
Params noLetterbox() {
    Params p;
    p.letterbox = false;
    return p;
}

TEST(SceneProjection, EachSceneSetsItsViewportAndProjection) {
    drainGLErrors();
    const float focal = 1.0f / std::tan(22.5f * 3.14159265f / 180.0f);
    auto depthScale = [](double n, double f) { return static_cast<float>((f + n) / (n - f)); };
    struct Case {
        const char* what;
        Scene* scene;
        int width, height;
        std::vector<GLint> viewport;
        float m0, m5, m10, m12;
    };
    Case cases[] = {
        {"base 800x600", new FlagScene, 800, 600, {0, 75, 800, 450}, focal / (16.0f / 9.0f), focal,
         depthScale(0.1, 2000), 0},
        {"base 1280x600", new FlagScene, 1280, 600, {0, -60, 1280, 720}, focal / (16.0f / 9.0f), focal,
         depthScale(0.1, 2000), 0},
        {"image display", new ImageDisplay, 640, 480, {0, 60, 640, 360}, focal / (16.0f / 9.0f), focal,
         depthScale(0.1, 2000), 0},
        {"fireworks", new Fireworks, 640, 480, {0, 60, 640, 360}, focal / (16.0f / 9.0f), focal,
         depthScale(0.1, 2000), 0},
        {"starfield, far plane 150", new Starfield, 640, 480, {0, 60, 640, 360}, focal / (16.0f / 9.0f),
         focal, depthScale(0.1, 150), 0},
        // Without the letterbox the same lens fills the window at its own aspect.
        {"image display, no letterbox", new ImageDisplay(ImageDisplayParams{"", false}), 640, 480,
         {0, 0, 640, 480}, focal / (4.0f / 3.0f), focal, depthScale(0.1, 2000), 0},
        {"fireworks, no letterbox", new Fireworks(noLetterbox<FireworksParams>()), 640, 480, {0, 0, 640, 480},
         focal / (4.0f / 3.0f), focal, depthScale(0.1, 2000), 0},
        {"starfield, no letterbox", new Starfield(noLetterbox<StarfieldParams>()), 640, 480, {0, 0, 640, 480},
         focal / (4.0f / 3.0f), focal, depthScale(0.1, 150), 0},
        {"oscilloscope, whole window", new Oscilloscope, 640, 480, {0, 0, 640, 480}, 2.0f / 1024.0f, 1.0f,
         -1.0f, -1.0f},
        {"greeting, whole window in pixels", new BirthText, 640, 480, {0, 0, 640, 480}, 2.0f / 640.0f,
         2.0f / 480.0f, -1.0f, -1.0f},
    };
    for (Case& c : cases) {
        c.scene->resize(c.width, c.height);
        EXPECT_EQ(c.viewport, viewport()) << c.what;
        std::vector<float> p = matrix(GL_PROJECTION_MATRIX);
        EXPECT_NEAR(c.m0, p[0], 1e-5f) << c.what;
        EXPECT_NEAR(c.m5, p[5], 1e-5f) << c.what;
        EXPECT_NEAR(c.m10, p[10], 1e-5f) << c.what;
        EXPECT_NEAR(c.m12, p[12], 1e-5f) << c.what;
        std::vector<float> mv = matrix(GL_MODELVIEW_MATRIX);
        EXPECT_EQ(1.0f, mv[0]) << c.what << ": model-view reset";
        EXPECT_EQ(0.0f, mv[12]) << c.what;
        EXPECT_EQ(c.width, c.scene->width) << c.what;
        EXPECT_EQ(c.height, c.scene->height) << c.what;
        EXPECT_EQ(GL_NO_ERROR, glGetError()) << c.what;
        delete c.scene;
    }
}

// ---------------------------------------------------------------------------
// Whole frames: one SceneManager for the suite, driven in beat order on the
// offline clock (the beat only moves forward, as in a run).

class ProductionFrames : public testing::Test {
protected:
    static SceneManager* manager;

    static std::string loadLog;

    // Virtual time for the frame timer: 16 ms per counter read. The star resets (which
    // draw from the shared generator) then happen on the same frames in every run, so
    // the fireworks' draws repeat too.
    class FrameClock : public platform::ClockSource {
    public:
        int64_t frequency() override { return 1000; }
        int64_t counter() override { return now += 16; }
        uint32_t ticks() override { return static_cast<uint32_t>(now); }
        int64_t now = 0;
    };
    static FrameClock clock;

    static void SetUpTestSuite() {
        platform::setClockSource(&clock);
        audio::useOfflineClock(true);
        testing::internal::CaptureStdout();
        manager = new SceneManager();
        fflush(stdout);
        loadLog = testing::internal::GetCapturedStdout();
        manager->resize(kWindowWidth, kWindowHeight);
        manager->start();
        seedRandom(2026);  // start seeds from the clock; the frames here should repeat
    }

    static void TearDownTestSuite() {
        delete manager;  // ends the scenes; the shared resources stay
        manager = nullptr;
        platform::setClockSource(nullptr);
    }

    // Puts the stream at beat and draws one frame; returns the beat the frame saw.
    static float frameAt(float beat) {
        audio::offlineSetSeconds(beat * 60.0 / manager->music->bpm);
        for (Scene* scene : manager->scenes) scene->keys = nullptr;
        manager->frame();
        return beat;
    }

    // The names of the scenes that drew in the last frame.
    static std::string drawnScenes() {
        std::string names;
        for (size_t i = 0; i < manager->scenes.size(); ++i) {
            if (manager->scenes[i]->keys != &manager->keyState) continue;
            names += (names.empty() ? "" : ",") + std::string(thisProduction().timeline[i].name);
        }
        return names;
    }

    static Image front(int width, int height) { return presentedFrame(width, height); }

    static void drainEvents() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
    }
};
SceneManager* ProductionFrames::manager = nullptr;
ProductionFrames::FrameClock ProductionFrames::clock;
std::string ProductionFrames::loadLog;

TEST_F(ProductionFrames, LoadingLogsEverySceneInTimelineOrder) {
    const char* lines[] = {"=== Loading Scenes ===\n", " [ImageDisplay]\n", " [BirthText]\n",
                           " [Oscilloscope]\n",         " [Starfield]\n",    " [Fireworks]\n",
                           "=== Done loading 5 scene(s) ===\n"};
    size_t from = 0;
    for (const char* line : lines) {
        size_t at = loadLog.find(line, from);
        EXPECT_NE(std::string::npos, at) << "missing or out of order: " << line << "log:\n" << loadLog;
        if (at != std::string::npos) from = at + 1;
    }
    ASSERT_EQ(5u, manager->scenes.size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(thisProduction().timeline[i].startBeat, manager->scenes[i]->startBeat) << thisProduction().timeline[i].name;
        EXPECT_EQ(thisProduction().timeline[i].endBeat, manager->scenes[i]->endBeat) << thisProduction().timeline[i].name;
        EXPECT_EQ(manager->music, manager->scenes[i]->music) << thisProduction().timeline[i].name;
        EXPECT_EQ(manager->shaders, manager->scenes[i]->shaders) << thisProduction().timeline[i].name;
        EXPECT_EQ(manager->fbo, manager->scenes[i]->fbo) << thisProduction().timeline[i].name;
        EXPECT_EQ(manager->ascii, manager->scenes[i]->ascii) << thisProduction().timeline[i].name;
    }
    for (int i = 0; i < KeyState::kCount; ++i) EXPECT_EQ(0, manager->keyState.held[i]) << "key " << i;
    EXPECT_GE(manager->music->beat(), 0.0f) << "started";
}

// The picture as ImageDisplay samples it (nearest), for matching the frame against.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    static Picture of(const ImageDisplay* scene) {
        Picture p;
        glBindTexture(GL_TEXTURE_2D, scene->picture.name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &p.width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &p.height);
        p.rgba.resize(4 * p.width * p.height);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return p;
    }
    // Whether a pixel of an area w x h shows the picture's texel there (or a neighbour's,
    // for rounding at texel edges).
    bool shows(const unsigned char* pixel, int x, int y, int w, int h) const {
        int tx = static_cast<int>((x + 0.5) / w * width), ty = static_cast<int>((y + 0.5) / h * height);
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                int sx = std::clamp(tx + dx, 0, width - 1), sy = std::clamp(ty + dy, 0, height - 1);
                const unsigned char* t = &rgba[4 * (sy * width + sx)];
                if (std::abs(t[0] - pixel[0]) <= 4 && std::abs(t[1] - pixel[1]) <= 4 &&
                    std::abs(t[2] - pixel[2]) <= 4)
                    return true;
            }
        }
        return false;
    }
};

TEST_F(ProductionFrames, Beat10ShowsOnlyWhiteScriptTextOnBlack) {
    frameAt(10.0f);
    EXPECT_EQ("BirthText", drawnScenes());
    Image image = front(kWindowWidth, kWindowHeight);
    int lit = 0, notGrey = 0, happyBox = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned char* p = image.at(x, y);
            if (!isGrey(p)) ++notGrey;
            if (!isBlack(p)) {
                ++lit;
                // "Happy" has its pen at (0, beat / 30 * height) = (0, 60).
                if (x < 160 && y >= 50 && y < 120) ++happyBox;
            }
        }
    }
    EXPECT_EQ(0, notGrey) << "only white text on black";
    EXPECT_GT(lit, 200) << "the greeting is visible";
    EXPECT_GT(happyBox, 100) << "\"Happy\" stands a third of the way up";
}

TEST_F(ProductionFrames, Beat36FillsTheSixteenByNineAreaWithThePictureUnderAGreenLine) {
    // A window taller than 16:9: 240 x 180 has a 135-pixel picture area from y = 22.
    manager->resize(240, 180);
    frameAt(36.0f);
    EXPECT_EQ("ImageDisplay,BirthText,Oscilloscope", drawnScenes());
    Image image = front(240, 180);
    Picture picture = Picture::of(static_cast<ImageDisplay*>(manager->scenes[0]));
    ASSERT_GT(picture.width, 0);

    int areaShown = 0, areaPixels = 0, bandPicture = 0;
    std::vector<bool> greenColumn(240, false);
    for (int y = 0; y < 180; ++y) {
        for (int x = 0; x < 240; ++x) {
            const unsigned char* p = image.at(x, y);
            bool inArea = y >= 22 && y < 22 + 135;
            bool shows = inArea && picture.shows(p, x, y - 22, 240, 135);
            if (inArea) {
                ++areaPixels;
                if (shows) ++areaShown;
            } else if (!isBlack(p) && !isGrey(p) && !isLineGreen(p)) {
                ++bandPicture;  // the bands hold only the clear colour, text and the line
            }
            if (isLineGreen(p) && !shows) greenColumn[x] = true;
        }
    }
    // The greeting and the line cover part of it.
    EXPECT_GT(areaShown, areaPixels * 7 / 10) << areaShown << " of " << areaPixels;
    EXPECT_EQ(0, bandPicture);
    // The first and last rows of the area are picture too.
    for (int y : {22, 156}) {
        int shown = 0;
        for (int x = 0; x < 240; ++x) shown += picture.shows(image.at(x, y), x, y - 22, 240, 135);
        EXPECT_GT(shown, 240 * 55 / 100) << "row " << y;
    }
    // The line runs from x = 0 to 1022/1024 of the width.
    int covered = static_cast<int>(std::count(greenColumn.begin(), greenColumn.begin() + 238, true));
    EXPECT_GT(covered, 238 * 9 / 10) << "columns with the green line";
    manager->resize(kWindowWidth, kWindowHeight);
}

TEST_F(ProductionFrames, BoundaryBeatsDrawTheirScenesInclusively) {
    struct Case {
        float beat;
        const char* drawn;
    } cases[] = {
        {40.0f, "ImageDisplay,BirthText,Oscilloscope"},
        {51.99f, "ImageDisplay,BirthText,Oscilloscope"},
        {52.0f, "ImageDisplay,BirthText,Oscilloscope,Starfield,Fireworks"},
        {52.01f, "Starfield,Fireworks"},
    };
    for (const Case& c : cases) {
        frameAt(c.beat);
        float seen = manager->music->beat();
        // The offline clock moves in whole sample frames: the beat seen must be the one asked.
        EXPECT_NEAR(c.beat, seen, 1e-4f);
        if (c.beat == 52.0f) {
            EXPECT_EQ(52.0f, seen) << "beat 52 is reachable exactly";
        }
        EXPECT_EQ(std::string(c.drawn), drawnScenes()) << "beat " << c.beat << " (seen " << seen << ")";
    }
}

TEST_F(ProductionFrames, Beat70ShowsColouredAdditiveSparksAndNoPicture) {
    Picture picture = Picture::of(static_cast<ImageDisplay*>(manager->scenes[0]));
    // Bursts come and go (and some fly out of view): the last beats up to 70 must show
    // colour, none of them the picture.
    int mostColoured = 0;
    for (float beat = 53.0f; beat <= 70.0f; beat += 0.25f) {
        frameAt(beat);
        if (beat < 66.0f) continue;
        Image image = front(kWindowWidth, kWindowHeight);
        int coloured = 0, lit = 0, pictureBright = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const unsigned char* p = image.at(x, y);
                if (!isBlack(p)) ++lit;
                if (isColoured(p)) ++coloured;
                if (p[0] + p[1] + p[2] > 180 && picture.shows(p, x, y, kWindowWidth, kWindowHeight))
                    ++pictureBright;
            }
        }
        mostColoured = std::max(mostColoured, coloured);
        EXPECT_GT(lit, 100) << "beat " << beat;
        EXPECT_LT(pictureBright, kWindowWidth * kWindowHeight / 50) << "no picture at beat " << beat;
    }
    EXPECT_GT(mostColoured, 20) << "the bursts are coloured";
    EXPECT_EQ("Starfield,Fireworks", drawnScenes());
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GL_SRC_ALPHA, integer(GL_BLEND_SRC)) << "the fireworks draw last";
    EXPECT_EQ(GL_ONE, integer(GL_BLEND_DST)) << "additive";
}

TEST_F(ProductionFrames, HoldingIShowsTheOverlayLines) {
    auto topWhite = [&] {
        Image image = front(kWindowWidth, kWindowHeight);
        int white = 0;
        // Both lines: baselines at 80 and 90 percent of the height, 48-pixel glyphs.
        for (int y = 140; y < kWindowHeight; ++y) {
            for (int x = 0; x < kWindowWidth; ++x) {
                const unsigned char* p = image.at(x, y);
                if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++white;
            }
        }
        return white;
    };
    frameAt(70.5f);
    int before = topWhite();
    manager->keyEvent(true, SDLK_i);
    frameAt(70.6f);
    int held = topWhite();
    manager->keyEvent(false, SDLK_i);
    frameAt(70.7f);
    int after = topWhite();
    EXPECT_GT(held, before + 300) << "before " << before << ", held " << held;
    EXPECT_LT(after, held - 300) << "released " << after << ", held " << held;
}

TEST_F(ProductionFrames, FaultNotesShowInRedAtTheTopOfEveryFrameWhileThereAreAny) {
    // Reddish pixels in the top fifth, where the two lines fall, after a frame at beat.
    auto topRed = [&](float beat) {
        frameAt(beat);
        Image image = front(kWindowWidth, kWindowHeight);
        int red = 0;
        for (int y = kWindowHeight * 4 / 5; y < kWindowHeight; ++y)
            for (int x = 0; x < kWindowWidth; ++x) {
                const unsigned char* p = image.at(x, y);
                red += p[0] > 120 && p[0] > p[1] + 40 && p[0] > p[2] + 40;
            }
        return red;
    };
    int before = topRed(10.0f);
    manager->faultNotes = {"Shader pulse.vert + pulse.frag: fragment shader compile failed (drawing nothing)",
                           "  0:12(3): error: syntax error, unexpected IDENTIFIER"};
    int shown = topRed(10.1f), again = topRed(10.2f);
    manager->faultNotes.clear();
    int after = topRed(10.3f);
    EXPECT_GT(std::min(shown, again), before + 100) << "before " << before << ", shown " << shown << ", " << again;
    EXPECT_LT(after, shown - 100) << "cleared " << after << ", shown " << shown;
}

TEST_F(ProductionFrames, AResizeSizesTheFboAtOnceAndTheScenesOnTheNextFrame) {
    frameAt(71.0f);
    const int inactiveWidth = manager->scenes[0]->width;
    manager->resize(200, 100);
    EXPECT_EQ(200, manager->fbo->width);
    EXPECT_EQ(100, manager->fbo->height);
    EXPECT_EQ(200, manager->ascii->width);
    EXPECT_EQ(100, manager->ascii->height);
    Scene* starfield = manager->scenes[3];
    Scene* fireworks = manager->scenes[4];
    EXPECT_EQ(kWindowWidth, starfield->width) << "not before the next frame";
    frameAt(71.1f);
    for (Scene* scene : {starfield, fireworks}) {
        EXPECT_EQ(200, scene->width);
        EXPECT_EQ(100, scene->height);
        EXPECT_EQ(112, scene->viewportHeight);
    }
    EXPECT_EQ((std::vector<GLint>{0, -6, 200, 112}), viewport()) << "the last scene's letterbox";
    EXPECT_EQ(inactiveWidth, manager->scenes[0]->width) << "an inactive scene keeps its last size";
    manager->resize(kWindowWidth, kWindowHeight);
}

TEST_F(ProductionFrames, TheEndOfTheMusicPushesAQuitEventEveryFrame) {
    drainEvents();
    frameAt(72.0f);
    SDL_Event event;
    bool quit = false;
    while (SDL_PollEvent(&event)) quit = quit || event.type == SDL_QUIT;
    EXPECT_FALSE(quit) << "no quit while the music plays";
    EXPECT_FALSE(pushQuitUnlessPlaying(manager->music->stream));

    double end = BASS_ChannelBytes2Seconds(manager->music->stream, manager->music->lengthBytes);
    audio::offlineSetSeconds(end + 1.0);
    EXPECT_NE(static_cast<DWORD>(BASS_ACTIVE_PLAYING), BASS_ChannelIsActive(manager->music->stream));
    for (int frame = 0; frame < 2; ++frame) {
        manager->frame();
        int quits = 0;
        while (SDL_PollEvent(&event)) quits += event.type == SDL_QUIT;
        EXPECT_EQ(1, quits) << "frame " << frame << " after the end";
    }
}

}  // namespace
