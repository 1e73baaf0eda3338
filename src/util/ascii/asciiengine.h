// Shared resource for text-mode style graphics: the glyph chart, a block of character
// cells and the sixteen colours of a classic text screen.
#pragma once

#include "util/texture/texture.h"

class AsciiEngine {
public:
    AsciiEngine();  // loads "data/common/images/asciichart.png"

    static constexpr int kCellBytes = 12000;

    Texture chart;
    unsigned char cells[kCellBytes];
    float palette[16][4];
    int width = 1;
    int height = 1;
};
