#include "scenes/scene/scene.h"

#include <GL/glu.h>

#include "log.h"
#include "util/shaderprogram/shaderprogram.h"

Letterbox letterbox(int width, int height) {
    Letterbox box;
    box.viewportHeight = static_cast<int>(width * 0.5625);
    box.y = (height - box.viewportHeight) / 2;
    return box;
}

Scene::Scene() = default;

bool Scene::init() { FATAL_AT(); }

void Scene::draw() { FATAL_AT(); }

void Scene::deinit() {}

void Scene::simulate() {}

void Scene::restart() {}

void Scene::saveState(std::vector<unsigned char>*) const {}

void Scene::loadState(const std::vector<unsigned char>&) {}

void Scene::resize(int width, int height) { letterboxPerspective(width, height, 2000.0); }

void Scene::letterboxPerspective(int w, int h, double farPlane) {
    width = w;
    height = h;
    Letterbox box = letterbox(w, h);
    viewportHeight = box.viewportHeight;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, box.y, w, box.viewportHeight);
    gluPerspective(45.0, 16.0f / 9.0f, 0.1f, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Scene::windowPerspective(int w, int h, double farPlane) {
    width = w;
    height = h;
    viewportHeight = h;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, w, h);
    gluPerspective(45.0, h > 0 ? double(w) / h : 16.0 / 9.0, 0.1f, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

namespace {

void setCapability(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

}  // namespace

// Every capability has a check of its own, so an error box names by its line which one
// was being set.
void Scene::applyState() {
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    setCapability(GL_BLEND, blend);
    CHECK_GL();
    setCapability(GL_DEPTH_TEST, depthTest);
    CHECK_GL();
    setCapability(GL_LIGHTING, lighting);
    CHECK_GL();
    setCapability(GL_TEXTURE_1D, texture1D);
    CHECK_GL();
    setCapability(GL_TEXTURE_2D, texture2D);
    CHECK_GL();
    setCapability(GL_COLOR_MATERIAL, colorMaterial);
    CHECK_GL();
    setCapability(GL_NORMALIZE, normalize);
    CHECK_GL();
    setCapability(GL_MULTISAMPLE, multisample);
    CHECK_GL();
    setCapability(GL_LIGHT0, lights[0]);
    CHECK_GL();
    setCapability(GL_LIGHT1, lights[1]);
    CHECK_GL();
    setCapability(GL_LIGHT2, lights[2]);
    CHECK_GL();
    setCapability(GL_LIGHT3, lights[3]);
    CHECK_GL();
    setCapability(GL_LIGHT4, lights[4]);
    CHECK_GL();
    setCapability(GL_LIGHT5, lights[5]);
    CHECK_GL();
    setCapability(GL_LIGHT6, lights[6]);
    CHECK_GL();
    setCapability(GL_LIGHT7, lights[7]);
    CHECK_GL();

    glShadeModel(shadeModel);
    CHECK_GL();
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glBindTexture(GL_TEXTURE_1D, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    ShaderProgram::unbind();
}
