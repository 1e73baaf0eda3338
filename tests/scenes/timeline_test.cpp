// The production's timeline and the scene base, without drawing.
#include <gtest/gtest.h>

#include <cstdio>
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

// The sections are the moments where what is drawn changes: the first at beat 0, each
// later one where a scene enters, each lying in the section sectionIndexAt finds.
TEST(Timeline, SectionsStartWhereTheDrawnScenesChange) {
    const ProductionInfo& production = thisProduction();
    auto drawnAt = [&](float beat) {
        std::vector<std::string> drawn;
        for (const TimelineEntry& entry : production.timeline)
            if (sceneActiveAt(entry.startBeat, entry.endBeat, beat)) drawn.push_back(entry.name);
        return join(drawn);
    };
    ASSERT_FALSE(production.sections.empty());
    EXPECT_EQ(0.0f, production.sections[0].startBeat);
    for (size_t i = 0; i < production.sections.size(); ++i) {
        float start = production.sections[i].startBeat;
        EXPECT_EQ(int(i), sectionIndexAt(production, start)) << production.sections[i].name;
        EXPECT_NE("", drawnAt(start)) << production.sections[i].name;
        if (i == 0) continue;
        EXPECT_LT(production.sections[i - 1].startBeat, start) << "sections in beat order";
        EXPECT_EQ(int(i) - 1, sectionIndexAt(production, start - 0.01f)) << production.sections[i].name;
        EXPECT_NE(drawnAt(start - 0.01f), drawnAt(start + 0.01f)) << production.sections[i].name;
    }
    EXPECT_EQ(0, sectionIndexAt(production, -1.0f));
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
        for (const TimelineEntry& entry : thisProduction().timeline) {
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

// Every program but the last is built from files of the shared shader folder; the last
// stands for the fixed pipeline.
TEST(ShaderSetTable, EveryPairButTheFixedPipelineNamesSharedShaderFiles) {
    for (int i = 0; i < kShaderCount; ++i) {
        const ShaderFiles& files = kShaderFiles[i];
        if (i == kShaderCount - 1) {
            EXPECT_EQ(nullptr, files.vertex);
            EXPECT_EQ(nullptr, files.fragment);
            continue;
        }
        ASSERT_NE(nullptr, files.vertex) << "program " << i;
        ASSERT_NE(nullptr, files.fragment) << "program " << i;
        for (const char* name : {files.vertex, files.fragment}) {
            std::string path = std::string("data/common/shaders/") + name;
            FILE* file = fopen(path.c_str(), "rb");
            EXPECT_NE(nullptr, file) << path;
            if (file) fclose(file);
        }
    }
}

}  // namespace
