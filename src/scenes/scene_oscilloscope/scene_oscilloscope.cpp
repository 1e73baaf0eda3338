#include "scenes/scene_oscilloscope/scene_oscilloscope.h"

#include <GL/glu.h>

#include "util/music/music.h"

bool Oscilloscope::init() {
    colorMaterial = true;
    blend = false;
    depthTest = false;
    texture2D = false;
    lighting = false;
    return true;
}

void Oscilloscope::resize(int w, int h) {
    width = w;
    height = h;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1024, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Oscilloscope::draw() {
    music->sampleData(samples);
    glColor4f(params_.colour.r, params_.colour.g, params_.colour.b, 1);
    glLineWidth(params_.lineWidth);
    glClear(GL_DEPTH_BUFFER_BIT);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < kSampleCount; i += 2) glVertex2f(static_cast<float>(i), oscilloscopeY(samples, i));
    glEnd();
}
