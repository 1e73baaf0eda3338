// The ASCII engine's fields after construction, with the production's chart when it
// exists and always with a small chart of the test's own.
#include "util/ascii/asciiengine.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/shaderprogram/gltest_helpers.h"

namespace {

class AsciiEngineTest : public testing::Test {
protected:
    void SetUp() override { gltest::useThreadsafeDeathTests(); }

    // Every field but the chart's size, which depends on the chart file.
    static void expectConstructed(AsciiEngine& engine) {
        for (int i = 0; i < AsciiEngine::kCellBytes; ++i) {
            ASSERT_EQ(0, engine.cells[i]) << "cell byte " << i;
        }
        const float expected[16][4] = {
            {0, 0, 0, 1},       {0, 0, 0.5f, 1},    {0, 0.5f, 0, 1},          {0, 0.5f, 0.5f, 1},
            {0.5f, 0, 0, 1},    {0.5f, 0, 0.5f, 1}, {0.5f, 0.5f, 0, 1},       {0.75f, 0.75f, 0.75f, 1},
            {0.5f, 0.5f, 0.5f, 1}, {0, 0, 1, 1},    {0, 1, 0, 1},             {0, 1, 1, 1},
            {1, 0, 0, 1},       {1, 0, 1, 1},       {1, 1, 0, 1},             {1, 1, 1, 1},
        };
        for (int i = 0; i < 16; ++i) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(expected[i][c], engine.palette[i][c]) << "palette " << i << " channel " << c;
            }
        }
        EXPECT_EQ(1, engine.width);
        EXPECT_EQ(1, engine.height);
        EXPECT_EQ(nullptr, engine.chart.imageData);
        ASSERT_NE(0u, engine.chart.name);
        EXPECT_FALSE(engine.chart.mipmapped);
        EXPECT_EQ(GLenum(GL_CLAMP_TO_EDGE), engine.chart.wrap);
        glBindTexture(GL_TEXTURE_2D, engine.chart.name);
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(GL_NEAREST, value);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(GL_NEAREST, value);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
        EXPECT_EQ(GL_CLAMP_TO_EDGE, value);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
};

TEST_F(AsciiEngineTest, OwnChartLoadsWithZeroedCellsTextPaletteAndSizeOne) {
    const int w = 16, h = 8;
    std::vector<unsigned char> pixels(size_t(w) * h * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 13);
    std::string path = testpaths::freshScratchDir("asciiengine") + "/chart.png";
    testpaths::writeFile(path, gltest::rgbaPng(w, h, pixels));

    AsciiEngine engine(path.c_str());
    expectConstructed(engine);
    EXPECT_EQ(w, engine.chart.width);
    EXPECT_EQ(h, engine.chart.height);
    EXPECT_EQ(32, engine.chart.bitsPerPixel);
    // Stored bottom row first: texture row 0 is the PNG's last row.
    std::vector<unsigned char> stored(pixels.size());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, stored.data());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w * 4; ++x) {
            ASSERT_EQ(pixels[size_t(h - 1 - y) * w * 4 + x], stored[size_t(y) * w * 4 + x])
                << "texture row " << y << " byte " << x;
        }
    }
}

TEST_F(AsciiEngineTest, TheProductionChartLoads) {
    if (!std::filesystem::exists(AsciiEngine::kChartPath)) {
        GTEST_SKIP() << AsciiEngine::kChartPath << " is not in the asset tree yet";
    }
    AsciiEngine engine;
    expectConstructed(engine);
    EXPECT_GT(engine.chart.width, 0);
    EXPECT_GT(engine.chart.height, 0);
}

TEST_F(AsciiEngineTest, AMissingChartEndsTheProcessNamingIt) {
    EXPECT_EXIT({ AsciiEngine engine("no/such/asciichart.png"); }, testing::ExitedWithCode(1),
                gltest::fatalBox("src/util/texture/texture_load.cpp",
                                 "Failed to load image no/such/asciichart.png!"));
}

}  // namespace
