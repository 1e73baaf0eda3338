// The particle texture as the GL itself samples it under a spark's square: the software
// path's stamps take their texels from here where a GL is at hand, so that a spark's
// footprint carries the GL's own filter (its anisotropic filter, its fixed-point weights
// and its level of detail), not a model of it. On llvmpipe the texture's 16x anisotropic
// filter differs from plain trilinear filtering by more than 8 levels in 2% of the
// pixels of a dense finale frame, where 20-40 sparks overlap.
#pragma once

#include <GL/glew.h>

#include <vector>

// A stamp's square: `edge` pixels wide, its lower left corner (fx, fy) pixels into the
// stamp's first pixel, and the stamp's size in pixels.
struct StampSquare {
    float edge, fx, fy;
    int width, height;
};

// For each square, the red and alpha (0 to 1) of `texture` (a bound-able 2D texture, with
// its own filtering set-up) that the GL samples at each of the stamp's pixel centres
// under an affine texture coordinate ((x + 0.5 - fx) / edge, and so in y), as a
// screen-aligned quad of that square has it: width * height pairs, the bottom row first.
// False (and `texels` left empty) where the GL cannot render floats into a framebuffer
// object or build the program, or a square is over 1024 pixels wide or high. Leaves the
// GL's state as it found it.
bool renderStampTexels(GLuint texture, const std::vector<StampSquare>& squares,
                       std::vector<std::vector<float>>* texels);
