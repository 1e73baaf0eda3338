// The greeting's text: eight words in two diagonal runs of four, scrolling up one window
// height every 30 beats.
#pragma once

#include <string>
#include <vector>

#include "scenes/greeting_words.h"

#include "scenes/scene/colour.h"
#include "scenes/scene/scene.h"

class FTFont;

// What a production sets of its text; the defaults are the greeting's.
struct BirthTextParams {
    // The kGreetingWordCount words in drawing order (UTF-8, each with glyphs in the font);
    // empty: greetingWord(), the greeting's own, which the capture's --words replaces
    // (ProductionInfo::hasWords). Any other count is fatal at construction.
    std::vector<std::string> words;
    std::string font = kGreetingFontPath;  // a TrueType or OpenType file, set at 48 points
    Rgb colour = {1.0f, 1.0f, 1.0f};
};

class BirthText : public Scene {
public:
    explicit BirthText(const BirthTextParams& params = {});

    bool init() override;
    std::vector<std::string> assets() const override { return {params_.font}; }
    void draw() override;
    // The base letterbox, then the whole window in pixels, origin at the lower left.
    void resize(int width, int height) override;

    const BirthTextParams& params() const { return params_; }
    // The word at index (0 to 7) in drawing order: the params' own, else greetingWord().
    const char* word(int index) const;

    FTFont* font = nullptr;

private:
    // Words of the command line (greetingWordsReplaced()): laid out in any script at
    // start, each drawn once into a texture, and fitted to the frame when drawn.
    struct ShapedWord {
        unsigned texture = 0;
        int width = 0, height = 0, left = 0, bottom = 0;  // pixels from the pen, y up
    };
    void shapeWords();
    // The word at index, its pen at the current modelview origin, penX from the left edge.
    void drawWord(int index, float penX) const;

    BirthTextParams params_;
    std::vector<ShapedWord> shaped_;
};
