// What the engine hands every GLSL program that declares it, when the program is bound:
// `uniform float beat` (the music clock, beats), `uniform float time` (the music's
// position, seconds), `uniform vec2 resolution` (the frame, pixels) and one
// `uniform float NAME` per named modulator, NAME being uniformName of its name
// (util/music/sync_values.h). A program that declares none of them gets no call.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ShaderInputs {
    // False until the scene manager fills them (tools and tests that draw on their own):
    // nothing is set then.
    bool active = false;
    float beat = 0.0f;
    float seconds = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    // Uniform name and value of every named modulator.
    std::vector<std::pair<std::string, float>> values;
    // Their modulators' own names, entry by entry ("kick glow" for "kick_glow"); for
    // the warnings about uniforms that name none.
    std::vector<std::string> names;
};

// The one set, process-wide; the scene manager refreshes it before each scene draws.
ShaderInputs& shaderInputs();
