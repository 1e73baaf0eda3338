// Shared resource for text-mode style graphics: the glyph chart, a block of character
// cells and the sixteen colours of a classic text screen.
#pragma once

#include "util/texture/texture.h"

class AsciiEngine {
public:
    static constexpr const char* kChartPath = "data/common/images/asciichart.png";
    static constexpr int kCellBytes = 12000;

    // Loads the glyph chart (the production's own one unless a test names another).
    explicit AsciiEngine(const char* chartPath = kChartPath);

    Texture chart;
    unsigned char cells[kCellBytes];
    float palette[16][4];  // RGBA; index bits: 0 blue, 1 green, 2 red, 3 bright
    int width = 1;         // window size in pixels, written by the scene manager
    int height = 1;
};
