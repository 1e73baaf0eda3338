// The picture backdrop of the first half: one image stretched over the 16:9 area,
// drawn from a vertex and an index buffer object.
#pragma once

#include "scenes/scene/scene.h"
#include "util/texture/texture.h"

class ImageDisplay : public Scene {
public:
    ImageDisplay();

    bool init() override;
    std::vector<std::string> assets() const override { return {"data/common/images/cokie_the_clown.jpg"}; }
    void draw() override;
    void resize(int width, int height) override;

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

    Copy copy_;
};
