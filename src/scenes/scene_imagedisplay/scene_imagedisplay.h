// A picture backdrop (the greeting's first half): one opaque image stretched over the
// 16:9 area, drawn from a vertex and an index buffer object.
#pragma once

#include <string>

#include "scenes/scene/scene.h"
#include "util/texture/texture.h"

// What a production sets of its picture; the defaults are the greeting's.
struct ImageDisplayParams {
    // The image (.png, .jpg, .tga or .bmp), a data/common file or one of the production's
    // own; sampled nearest, not repeated.
    std::string picture = "data/common/images/cokie_the_clown.jpg";
    // Stretched over the 16:9 viewport inside the window (bars where the window is not
    // 16:9); false: over the whole window.
    bool letterbox = true;
};

class ImageDisplay : public Scene {
public:
    explicit ImageDisplay(const ImageDisplayParams& params = {});

    bool init() override;
    std::vector<std::string> assets() const override { return {params_.picture}; }
    void draw() override;
    // The base letterbox, or the whole window (see ImageDisplayParams).
    void resize(int width, int height) override;

    const ImageDisplayParams& params() const { return params_; }

    Texture picture;
    float vertices[4][3];
    float texCoords[4][2];
    GLuint indices[6];
    GLuint vertexBuffer = 0;  // positions (48 bytes) then texture coordinates (32 bytes)
    GLuint indexBuffer = 0;

private:
    // The picture as the quad draws it at one viewport size, kept to be copied into
    // single-sampled frames (see drawFromCopy).
    struct Copy {
        GLuint framebuffer = 0;  // 0 where no copy could be made at this size
        GLuint texture = 0;
        int width = 0;   // pixels: the viewport size the copy was made for
        int height = 0;  // pixels
    };

    void drawQuad();
    bool drawFromCopy();
    void renderCopy(int width, int height);
    void releaseCopy();  // the GL objects; the size stays

    ImageDisplayParams params_;
    Copy copy_;
};
