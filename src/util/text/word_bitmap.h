// A laid-out word drawn once into an RGBA image (at start: the frame only draws a quad),
// and where on the frame it goes so that it is whole there.
#pragma once

#include <cstdint>
#include <vector>

#include "util/text/word_layout.h"

struct WordBitmap {
    int width = 0, height = 0;  // pixels; 0 for a word without ink
    // The image's lower left corner from the word's pen origin, pixels, y up.
    int left = 0, bottom = 0;
    // Premultiplied RGBA, rows from the bottom up (as glTexImage2D takes them).
    std::vector<uint8_t> rgba;
};

// Outline glyphs take `r, g, b` (0 to 1) times their coverage; colour glyphs (emoji)
// their own colours, scaled from their strike to the word's size.
WordBitmap drawWord(const WordFonts& fonts, const WordLayout& word, float r, float g, float b);

// How a word whose ink spans [inkLeft, inkRight] pixels from its pen, with its pen at
// penX on a frame `frameWidth` pixels wide, is moved and scaled about its pen so that
// its ink lies whole on the frame: {0, 1} where it already does (a word that fits keeps
// its place and size); else moved in to a margin of 2% of the width from the edge it
// crossed, and where it is wider than the frame less both margins, scaled down to that
// width from the left margin.
struct WordFit {
    float shift;  // pixels, added to the pen's x
    float scale;
};
WordFit fitWordInFrame(float penX, float inkLeft, float inkRight, float frameWidth);
