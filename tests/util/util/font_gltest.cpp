#include <GL/glew.h>
#include <FTGL/ftgl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/data/data.h"
#include "util/util/util.h"

namespace {

// A font of the asset tree when there is one, else the system's DejaVu Sans.
std::string someFont() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(testpaths::source("data/common/fonts"), ec)) {
        if (e.path().extension() == ".ttf") return e.path().string();
    }
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

// Lit pixels of the 320x180 window after drawing text at (10, 80).
int litPixelsAfter(FTFont* font, const char* text, float xScale = 1.0f) {
    glViewport(0, 0, 320, 180);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 320, 0, 180, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(10, 80, 0);
    glScalef(xScale, 1, 1);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    if (text) fontPrintf(font, "%s", text);
    else fontPrintf(font, nullptr);
    std::vector<unsigned char> pixels(320 * 180 * 4);
    glReadPixels(0, 0, 320, 180, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] > 64;
    return lit;
}

TEST(Font, LoadsFromTheDataLayerAndDrawsText) {
    setDataMode(Disk);
    FTFont* font = loadFont(someFont().c_str());
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(0, font->Error()) << someFont();
    ASSERT_TRUE(font->FaceSize(24));
    EXPECT_TRUE(font->CharMap(ft_encoding_unicode));
    struct Case {
        const char* text;
        bool drawsSomething;
    } cases[] = {{"Festoonery 52", true}, {nullptr, false}, {"", false}, {"  ", false}};
    for (const Case& c : cases) {
        int lit = litPixelsAfter(font, c.text);
        EXPECT_EQ(c.drawsSomething, lit > 0) << (c.text ? c.text : "(null format)") << ": " << lit
                                             << " lit pixels";
    }
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST(Font, PrintingUnbindsUnitsOneToFourAndLeavesUnitZeroActive) {
    setDataMode(Disk);
    FTFont* font = loadFont(someFont().c_str());
    ASSERT_TRUE(font->FaceSize(12));
    GLuint textures[5];
    glGenTextures(5, textures);
    for (int unit = 0; unit < 5; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, textures[unit]);
    }
    glActiveTexture(GL_TEXTURE3);
    fontPrintf(font, "unit %d", 3);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(GL_TEXTURE0, active);
    for (int unit = 1; unit < 5; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(0, bound) << "unit " << unit;
    }
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST(Font, LongTextIsCutAt259Characters) {
    setDataMode(Disk);
    FTFont* font = loadFont(someFont().c_str());
    ASSERT_TRUE(font->FaceSize(12));
    // Squeezed to about a pixel per glyph, 259 characters fit the window with room to
    // spare: the cut shows as the same picture for 259 and 400 characters, not for 200.
    float squeeze = 1.0f / font->Advance("M");
    std::string cut(259, 'M'), longer(400, 'M'), shorter(200, 'M');
    int lit259 = litPixelsAfter(font, cut.c_str(), squeeze);
    EXPECT_GT(lit259, 0);
    EXPECT_EQ(lit259, litPixelsAfter(font, longer.c_str(), squeeze));
    EXPECT_LT(litPixelsAfter(font, shorter.c_str(), squeeze), lit259);
    EXPECT_LT(259 * font->Advance("M") * squeeze + 10, 320.0f) << "the cut text must fit the window";
}

}  // namespace
