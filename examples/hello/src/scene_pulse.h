// The example's one scene: a full-screen quad drawn with its own shader program, whose
// uniforms the engine sets from the music (beat, resolution) and the sync description's
// modulators (kick_glow, pad_swell).
#pragma once

#include "scenes/scene/scene.h"

class ShaderProgram;

class Pulse : public Scene {
public:
    bool init() override;
    void draw() override;
    // The full window, no letterbox: the shader fills it.
    void resize(int width, int height) override;

private:
    ShaderProgram* program_ = nullptr;
};
