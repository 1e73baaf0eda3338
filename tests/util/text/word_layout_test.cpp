#include "util/text/word_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "scenes/greeting_words.h"
#include "support/paths.h"
#include "util/text/word_bitmap.h"

namespace {

std::string scriptFont() { return testpaths::readFile(testpaths::source(kGreetingFontPath)); }

WordFonts* systemFonts() {
    static std::string bytes = scriptFont();
    static WordFonts fonts(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), kGreetingFontPixels);
    return &fonts;
}

// HarfBuzz's own command-line shaper on the same text and face: the glyph indices it
// gives, in its output order (left to right).
std::vector<unsigned> hbShape(const std::string& file, int index, const std::string& text) {
    std::string command = "hb-shape --no-glyph-names --no-positions --no-clusters --face-index=" +
                          std::to_string(index) + " '" + file + "' '" + text + "' 2>&1";
    std::vector<unsigned> glyphs;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return glyphs;
    std::string out;
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe)) out += chunk;
    pclose(pipe);
    unsigned value = 0;
    bool inNumber = false;
    for (char c : out) {
        if (c >= '0' && c <= '9') value = value * 10 + unsigned(c - '0'), inNumber = true;
        else if (inNumber) glyphs.push_back(value), value = 0, inNumber = false;
    }
    if (glyphs.empty()) ADD_FAILURE() << command << ": " << out;
    return glyphs;
}

std::vector<unsigned> glyphsOf(const WordRun& run) {
    std::vector<unsigned> glyphs;
    for (const PlacedGlyph& g : run.glyphs) glyphs.push_back(g.glyph);
    return glyphs;
}

std::string fileOf(WordFonts* fonts, size_t face) {
    return face == 0 ? testpaths::source(kGreetingFontPath) : fonts->faceFile(face);
}

TEST(WordLayout, OneFacePerWordShapedAsHarfBuzzShapesIt) {
    struct Case {
        const char* word;
        const char* face;  // the start of the family chosen
    } cases[] = {
        {"Zoë", "Dancing Script"},          {"Łukasz", "Kaushan Script"},
        {"Nguyễn", "Noto Serif"},           {"Γιώργος", "Noto Serif"},
        {"Дмитрий", "Noto Serif"},          {"Գայանե", "Noto Serif Armenian"},
        {"ნინო", "Noto Serif Georgian"},     {"דוד", "Noto Rashi Hebrew"},
        {"محمد", "Noto Naskh Arabic"},      {"پریسا", "Noto Naskh Arabic"},
        {"प्रिया", "Noto Serif Devanagari"}, {"প্রিয়া", "Noto Serif Bengali"},
        {"தமிழ்", "Noto Serif Tamil"},       {"สมชาย", "Noto Looped Thai"},
        {"王芳", "Noto Serif CJK SC"},       {"さくら", "Noto Serif CJK JP"},
        {"지민", "Noto Serif CJK KR"},       {"🎂", "Noto Color Emoji"},
    };
    WordFonts* fonts = systemFonts();
    for (const Case& c : cases) {
        WordLayout layout;
        std::vector<std::string> undrawable;
        ASSERT_TRUE(fonts->layout(c.word, &layout, &undrawable)) << c.word << ": " << undrawable.at(0);
        ASSERT_EQ(1u, layout.runs.size()) << c.word;
        const WordRun& run = layout.runs[0];
        EXPECT_EQ(0u, fonts->faceName(run.face).rfind(c.face, 0)) << c.word << ": " << fonts->faceName(run.face);
        EXPECT_EQ(hbShape(fileOf(fonts, run.face), fonts->faceIndex(run.face), c.word), glyphsOf(run)) << c.word;
        EXPECT_GT(layout.advance, 0) << c.word;
    }
}

TEST(WordLayout, MixedScriptsTakeAFaceEachInVisualOrder) {
    struct Case {
        const char* word;
        std::vector<std::string> runs;  // texts, left to right
    } cases[] = {
        {"Anna-Мария", {"Anna-", "Мария"}},
        {"Ali علي", {"Ali ", "علي"}},
        // Right to left first: the Latin name is drawn at the left, the Arabic at the right.
        {"علي Ali", {"Ali", "علي "}},
        {"Ann🎂", {"Ann", "🎂"}},
    };
    WordFonts* fonts = systemFonts();
    for (const Case& c : cases) {
        WordLayout layout;
        ASSERT_TRUE(fonts->layout(c.word, &layout, nullptr)) << c.word;
        std::vector<std::string> texts;
        for (const WordRun& run : layout.runs) texts.push_back(layout.text.substr(run.begin, run.end - run.begin));
        EXPECT_EQ(c.runs, texts) << c.word;
        ASSERT_EQ(2u, layout.runs.size()) << c.word;
        EXPECT_NE(layout.runs[0].face, layout.runs[1].face) << c.word;
        // The runs follow one another: the second starts where the first one's pen ends.
        EXPECT_LT(layout.runs[0].glyphs.back().x, layout.runs[1].glyphs.front().x) << c.word;
    }
}

TEST(WordLayout, DecomposedTextDrawsAsComposed) {
    WordLayout composed, decomposed;
    ASSERT_TRUE(systemFonts()->layout("José Nguyễn", &composed, nullptr));
    ASSERT_TRUE(systemFonts()->layout("Jose\xcc\x81 Nguye\xcc\x82\xcc\x83n", &decomposed, nullptr));
    EXPECT_EQ(composed.text, decomposed.text);
    ASSERT_EQ(composed.runs.size(), decomposed.runs.size());
    for (size_t i = 0; i < composed.runs.size(); ++i) EXPECT_EQ(glyphsOf(composed.runs[i]), glyphsOf(decomposed.runs[i]));
}

TEST(WordLayout, RefusesEachCharacterNoFaceDraws) {
    // The script font alone: nothing beyond its Latin, and no package counts as installed.
    std::string bytes = scriptFont();
    WordFonts fonts(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), kGreetingFontPixels,
                    {testpaths::source(kGreetingFontPath)});
    struct Case {
        const char* word;
        std::vector<std::string> undrawable;
    } cases[] = {
        {"Zoë", {}},
        {"ཀཀ", {"U+0F40 TIBETAN LETTER KA (Tibetan): no installed font draws it; install fonts-noto-core"}},
        {"a王b🎂",
         {"U+738B CJK UNIFIED IDEOGRAPH-738B (Han): no installed font draws it; install fonts-noto-cjk",
          "U+1F382 BIRTHDAY CAKE (Emoji): no installed font draws it; install fonts-noto-color-emoji"}},
        {"\xee\x80\x80", {"U+E000 <private use area-E000> (Unknown): no installed font draws it"}},
    };
    for (const Case& c : cases) {
        WordLayout layout;
        std::vector<std::string> undrawable;
        EXPECT_EQ(c.undrawable.empty(), fonts.layout(c.word, &layout, &undrawable)) << c.word;
        EXPECT_EQ(c.undrawable, undrawable) << c.word;
    }
}

TEST(WordFit, WordsAreMovedOrScaledOnlyWhereTheyCrossAnEdge) {
    struct Case {
        float penX, inkLeft, inkRight, frame;
        WordFit fit;
    } cases[] = {
        {0, 2, 300, 640, {0, 1}},                 // inside: today's place and size
        {384, 0, 256, 640, {0, 1}},               // ends exactly on the edge
        {384, 0, 300, 640, {-56.8f, 1}},          // moved in to 12.8 pixels from the right
        {0, -5, 100, 640, {17.8f, 1}},            // a swash left of the frame
        {384, 0, 1228.8f, 640, {-371.2f, 0.5f}},    // twice the room: half size from the margin
    };
    for (const Case& c : cases) {
        WordFit fit = fitWordInFrame(c.penX, c.inkLeft, c.inkRight, c.frame);
        EXPECT_NEAR(c.fit.shift, fit.shift, 1e-3) << c.penX << " " << c.inkRight << " in " << c.frame;
        EXPECT_NEAR(c.fit.scale, fit.scale, 1e-4) << c.penX << " " << c.inkRight << " in " << c.frame;
    }
}

TEST(WordFit, ALongNameStaysWholeOnTheFrame) {
    WordLayout layout;
    ASSERT_TRUE(systemFonts()->layout("Wolfgang-Amadeus Theophilus", &layout, nullptr));
    WordBitmap image = drawWord(*systemFonts(), layout, 1, 1, 1);
    ASSERT_GT(image.width, 400);
    for (float frame : {640.0f, 960.0f}) {
        float pen = 0.6f * frame;  // the last word of a run
        WordFit fit = fitWordInFrame(pen, float(image.left), float(image.left + image.width), frame);
        float left = pen + fit.shift + float(image.left) * fit.scale;
        float right = pen + fit.shift + float(image.left + image.width) * fit.scale;
        EXPECT_GE(left, 0.02f * frame - 0.01f) << frame;
        EXPECT_LE(right, 0.98f * frame + 0.01f) << frame;
        EXPECT_LT(fit.shift, 0) << frame;
    }
}

}  // namespace
