// The birthday greeting: eight script words in two diagonal runs of four, scrolling up
// one window height every 30 beats.
#pragma once

#include "scenes/scene/scene.h"

class FTFont;

class BirthText : public Scene {
public:
    bool init() override;
    void draw() override;
    // The base letterbox, then the whole window in pixels, origin at the lower left.
    void resize(int width, int height) override;

    FTFont* font = nullptr;
};

// The words in drawing order.
constexpr int kGreetingWordCount = 8;
extern const char* const kGreetingWords[kGreetingWordCount];
