// The birthday greeting: eight script words in two diagonal runs of four, scrolling up
// one window height every 30 beats.
#pragma once

#include "scenes/greeting_words.h"

#include "scenes/scene/scene.h"

class FTFont;

class BirthText : public Scene {
public:
    bool init() override;
    std::vector<std::string> assets() const override { return {kGreetingFontPath}; }
    void draw() override;
    // The base letterbox, then the whole window in pixels, origin at the lower left.
    void resize(int width, int height) override;

    FTFont* font = nullptr;
};

// The words in drawing order.
