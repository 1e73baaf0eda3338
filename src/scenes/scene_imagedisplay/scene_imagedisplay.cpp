#include "scenes/scene_imagedisplay/scene_imagedisplay.h"

#include <GL/glu.h>

#include <cstring>

ImageDisplay::ImageDisplay() {
    texture::init(&picture);
    memset(vertices, 0, sizeof vertices);
    memset(texCoords, 0, sizeof texCoords);
    memset(indices, 0, sizeof indices);
}

bool ImageDisplay::init() {
    texture::load(GL_NEAREST, GL_NEAREST, &picture, "data/common/images/cokie_the_clown.jpg", false,
                  false);

    static const float kCorners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    static const float kTexCoords[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    static const GLuint kIndices[6] = {0, 1, 2, 2, 3, 1};
    memcpy(vertices, kCorners, sizeof vertices);
    memcpy(texCoords, kTexCoords, sizeof texCoords);
    memcpy(indices, kIndices, sizeof indices);

    glGenBuffers(1, &vertexBuffer);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices + sizeof texCoords, nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices);
    glBufferSubData(GL_ARRAY_BUFFER, sizeof vertices, sizeof texCoords, texCoords);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);
    return true;
}

void ImageDisplay::resize(int w, int h) { Scene::resize(w, h); }

void ImageDisplay::draw() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, picture.name);
    glColor4f(1, 1, 1, 1);

    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(sizeof vertices));
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}
