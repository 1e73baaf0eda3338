#include "util/ascii/asciiengine.h"

#include <cstring>

namespace {

// The sixteen colours of a text screen. Light grey (7) and dark grey (8) break the
// half-intensity pattern of the other dark colours.
const float kPalette[16][4] = {
    {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.5f, 1.0f}, {0.0f, 0.5f, 0.0f, 1.0f},
    {0.0f, 0.5f, 0.5f, 1.0f}, {0.5f, 0.0f, 0.0f, 1.0f}, {0.5f, 0.0f, 0.5f, 1.0f},
    {0.5f, 0.5f, 0.0f, 1.0f}, {0.75f, 0.75f, 0.75f, 1.0f}, {0.5f, 0.5f, 0.5f, 1.0f},
    {0.0f, 0.0f, 1.0f, 1.0f}, {0.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 1.0f, 1.0f},
    {1.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 1.0f, 1.0f},
};

}  // namespace

AsciiEngine::AsciiEngine(const char* chartPath) {
    texture::init(&chart);
    texture::load(GL_NEAREST, GL_NEAREST, &chart, chartPath, false, false);
    memset(cells, 0, sizeof cells);
    memcpy(palette, kPalette, sizeof palette);
    width = 1;
    height = 1;
}
