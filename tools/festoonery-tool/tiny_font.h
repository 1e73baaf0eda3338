// A 3x5 pixel font for the tool's pictures: digits, letters (lower case drawn as upper
// case) and a few signs; anything else draws as a blank.
#pragma once

#include <cstdint>
#include <string>

namespace tool {

// Draws text into an RGBA image (width x height pixels, rows top first) with its top
// left corner at (x, y), each font pixel `scale` pixels wide; clipped to the image.
// Returns the x after the last character.
int drawText(uint8_t* rgba, int width, int height, int x, int y, const std::string& text, int scale,
             const uint8_t colour[3]);

// The width in pixels that drawText gives the text.
int textWidth(const std::string& text, int scale);

}  // namespace tool
