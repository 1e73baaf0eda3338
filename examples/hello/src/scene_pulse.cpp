#include "scene_pulse.h"

#include <GL/glew.h>

#include "log.h"
#include "scenes/scene/shaderset.h"
#include "util/shaderprogram/shaderprogram.h"

bool Pulse::init() {
    // Built through the shared set, so development mode rebuilds it on R and on a save.
    program_ = shaders->build("data/hello/shaders/pulse.vert", "data/hello/shaders/pulse.frag");
    depthTest = false;
    lighting = false;
    texture2D = false;
    lights[0] = false;
    return true;
}

void Pulse::resize(int w, int h) {
    width = w;
    height = h;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Pulse::draw() {
    program_->bind();
    glBegin(GL_QUADS);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    CHECK_GL();
}
