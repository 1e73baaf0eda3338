// The production's timeline and the scene base, without drawing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenes/scene/scene.h"
#include "scenes/scene/shaderset.h"
#include "scenes/scenemanager.h"

namespace {

std::string join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ",") + n;
    return text;
}

TEST(Timeline, ListsTheFiveScenesInDrawingOrder) {
    struct Row {
        const char* name;
        float start, end;
    } expected[] = {
        {"ImageDisplay", 20, 52}, {"BirthText", 0, 52}, {"Oscilloscope", 20, 52},
        {"Starfield", 52, 5000},  {"Fireworks", 52, 5000},
    };
    ASSERT_EQ(5, kTimelineLength);
    for (int i = 0; i < kTimelineLength; ++i) {
        EXPECT_STREQ(expected[i].name, kTimeline[i].name) << "position " << i;
        EXPECT_EQ(expected[i].start, kTimeline[i].startBeat) << kTimeline[i].name;
        EXPECT_EQ(expected[i].end, kTimeline[i].endBeat) << kTimeline[i].name;
        EXPECT_NE(nullptr, kTimeline[i].create) << kTimeline[i].name;
    }
}

TEST(Timeline, DrawsTheScenesWhoseWindowHoldsTheBeatBothEndsInclusive) {
    struct Case {
        float beat;
        const char* drawn;
    } cases[] = {
        {-0.01f, ""},
        {0.0f, "BirthText"},
        {19.99f, "BirthText"},
        {20.0f, "ImageDisplay,BirthText,Oscilloscope"},
        {36.0f, "ImageDisplay,BirthText,Oscilloscope"},
        {51.99f, "ImageDisplay,BirthText,Oscilloscope"},
        {52.0f, "ImageDisplay,BirthText,Oscilloscope,Starfield,Fireworks"},
        {52.01f, "Starfield,Fireworks"},
        {4999.0f, "Starfield,Fireworks"},
        {5000.0f, "Starfield,Fireworks"},
        {5000.01f, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> drawn;
        for (const TimelineEntry& entry : kTimeline) {
            if (sceneActiveAt(entry.startBeat, entry.endBeat, c.beat)) drawn.push_back(entry.name);
        }
        EXPECT_EQ(c.drawn, join(drawn)) << "beat " << c.beat;
    }
}

TEST(SceneBase, StartsWithTheDocumentedDefaults) {
    Scene scene;
    EXPECT_EQ(static_cast<GLenum>(GL_SMOOTH), scene.shadeModel);
    EXPECT_EQ(-10.0f, scene.startBeat);
    EXPECT_EQ(5000.0f, scene.endBeat);
    EXPECT_EQ(nullptr, scene.keys);
    EXPECT_EQ(nullptr, scene.music);
    EXPECT_EQ(nullptr, scene.shaders);
    EXPECT_EQ(nullptr, scene.fbo);
    EXPECT_EQ(nullptr, scene.ascii);
    struct Flag {
        const char* name;
        bool value, expected;
    } flags[] = {
        {"blend", scene.blend, false},         {"depthTest", scene.depthTest, true},
        {"lighting", scene.lighting, false},   {"texture1D", scene.texture1D, false},
        {"texture2D", scene.texture2D, true},  {"colorMaterial", scene.colorMaterial, true},
        {"normalize", scene.normalize, true},  {"multisample", scene.multisample, true},
        {"light 0", scene.lights[0], true},
    };
    for (const Flag& f : flags) EXPECT_EQ(f.expected, f.value) << f.name;
    for (int i = 1; i < 8; ++i) EXPECT_FALSE(scene.lights[i]) << "light " << i;
    // Never configured, it would draw over the whole default window.
    EXPECT_TRUE(sceneActiveAt(scene.startBeat, scene.endBeat, -10.0f));
    EXPECT_TRUE(sceneActiveAt(scene.startBeat, scene.endBeat, 5000.0f));
}

TEST(SceneBase, LetterboxKeepsSixteenByNineCentredVertically) {
    struct Case {
        int width, height, viewportHeight, y;
    } cases[] = {
        {800, 600, 450, 75},    {1280, 720, 720, 0},   {1280, 600, 720, -60},
        {320, 180, 180, 0},     {240, 180, 135, 22},   {1920, 1080, 1080, 0},
        {1, 1, 0, 0},           {100, 57, 56, 0},      {0, 0, 0, 0},
        {1023, 768, 575, 96},   {641, 10, 360, -175},
    };
    for (const Case& c : cases) {
        Letterbox box = letterbox(c.width, c.height);
        EXPECT_EQ(c.viewportHeight, box.viewportHeight) << c.width << "x" << c.height;
        EXPECT_EQ(c.y, box.y) << c.width << "x" << c.height;
    }
}

using SceneBaseDeathTest = testing::Test;

TEST_F(SceneBaseDeathTest, TheBaseInitAndDrawAreFatal) {
    Scene scene;
    EXPECT_EXIT(scene.init(), testing::ExitedWithCode(1),
                "\\[box\\] Error \\| Error in file src/scenes/scene/scene.cpp:[0-9]+");
    EXPECT_EXIT(scene.draw(), testing::ExitedWithCode(1),
                "\\[box\\] Error \\| Error in file src/scenes/scene/scene.cpp:[0-9]+");
    scene.deinit();  // the base deinit does nothing and returns
}

TEST(ShaderSetTable, NamesTheTwentyTwoFilePairsInMemberOrder) {
    const char* expected[kShaderCount][2] = {
        {"billboard.vert", "billboard.frag"},
        {"simple.vert", "blocked.frag"},
        {"simple.vert", "blur.frag"},
        {"deferred_pass1.vert", "deferred_pass1.frag"},
        {"deferred_pass2.vert", "deferred_pass2.frag"},
        {"simple.vert", "gaussblur.frag"},
        {"simple.vert", "glitch.frag"},
        {"multi_diffuse.vert", "multi_diffuse.frag"},
        {"multi_diffuse.vert", "multi_diffuse_2sided.frag"},
        {"multi_diffuse_bump.vert", "multi_diffuse_bump.frag"},
        {"multi_diffuse_bump.vert", "multi_diffuse_bump_2sided.frag"},
        {"multi_material_notex.vert", "multi_material_notex.frag"},
        {"multi_material_tex.vert", "multi_material_tex.frag"},
        {"multi_specular_bump.vert", "multi_specular_bump.frag"},
        {"multi_specular_bump_extratex.vert", "multi_specular_bump_extratex.frag"},
        {"single_diffuse.vert", "single_diffuse.frag"},
        {"single_diffuse_bump.vert", "single_diffuse_bump.frag"},
        {"single_diffuse_notex.vert", "single_diffuse_notex.frag"},
        {"single_material_notex.vert", "single_material_notex.frag"},
        {"single_specular_bump.vert", "single_specular_bump.frag"},
        {"twister.vert", "multi_specular_bump.frag"},
        {nullptr, nullptr},
    };
    for (int i = 0; i < kShaderCount; ++i) {
        auto same = [](const char* a, const char* b) { return a == b || (a && b && std::string(a) == b); };
        EXPECT_TRUE(same(expected[i][0], kShaderFiles[i].vertex)) << "program " << i;
        EXPECT_TRUE(same(expected[i][1], kShaderFiles[i].fragment)) << "program " << i;
    }
}

}  // namespace
