// The colour a production gives its scenes' parameters: linear components, 0 to 1 (a
// tint, which multiplies, may exceed 1).
#pragma once

struct Rgb {
    float r, g, b;
};
