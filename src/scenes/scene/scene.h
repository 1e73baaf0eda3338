// The abstract scene: its window on the timeline (in beats), the shared resources the
// scene manager hands it, the window size with a letterboxed 16:9 viewport, and the
// OpenGL state flags applied just before every draw.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

class Music;
class ShaderSet;
class Fbo;
class AsciiEngine;
struct KeyState;

// The 16:9 viewport inside a window: its height and the y of its lower edge, both in
// pixels. A window wider than 16:9 gets a viewport taller than itself (cut at top and
// bottom, y negative).
struct Letterbox {
    int viewportHeight;
    int y;
};
Letterbox letterbox(int width, int height);

class Scene {
public:
    Scene();
    virtual ~Scene() = default;

    // A scene must override init and draw; the base versions are fatal.
    virtual bool init();
    virtual void draw();
    virtual void deinit();
    // One frame of the scene's own state, without OpenGL: the scene manager calls it
    // right before draw, and alone when it fast-forwards, so the same steps, frame times
    // and random draws happen whether frames are drawn or not. The base has no state.
    virtual void simulate();
    // Back to the state init left (before any simulate), so that replaying the frames
    // from beat 0 rebuilds any moment. Draws no random values.
    virtual void restart();
    // The state simulate() changes, as bytes, for the states a seek keeps: saveState
    // appends it to out, loadState puts back what saveState wrote. The base has none.
    virtual void saveState(std::vector<unsigned char>* out) const;
    virtual void loadState(const std::vector<unsigned char>& in);
    // Letterboxed perspective: 45 degrees, 16:9, near 0.1, far 2000.
    virtual void resize(int width, int height);
    // True when draw() draws nothing before its SplatBatch: the frame's particle layer
    // may then stay open from the scene before (see compositeSplatLayer in splats.h).
    virtual bool opensWithSplats() const { return false; }
    // True when the draw() just made drew nothing but its SplatBatches (wide sparks
    // included): a frame that held only its clear still does, so the layer may be copied
    // over it (see noteSplatFrameCleared in splats.h).
    virtual bool drewOnlySplats() const { return false; }
    // The asset files init() and draw() open ("data/common/images/x.png"; a shader file
    // by its bare name, as ShaderProgram takes it), for the production's archive. Known
    // before init: the build asks a production's scenes without a window.
    virtual std::vector<std::string> assets() const { return {}; }

    void applyState();

    GLenum shadeModel = GL_SMOOTH;
    float startBeat = -10.0f;  // inclusive
    float endBeat = 5000.0f;   // inclusive
    KeyState* keys = nullptr;
    Music* music = nullptr;
    ShaderSet* shaders = nullptr;
    Fbo* fbo = nullptr;
    AsciiEngine* ascii = nullptr;
    int width = 0;
    int height = 0;
    int viewportHeight = 0;
    // simulate() calls so far, counted by the scene manager: a kept state whose count has
    // not changed since the one before shares that one's bytes.
    uint64_t simulations = 0;
    bool blend = false;
    bool depthTest = true;
    bool lighting = false;
    bool texture1D = false;
    bool texture2D = true;
    bool colorMaterial = true;
    bool normalize = true;
    bool multisample = true;
    bool lights[8] = {true, false, false, false, false, false, false, false};

protected:
    // The base resize with another far plane (the starfield clips at 150).
    void letterboxPerspective(int width, int height, double farPlane);
    // The same perspective over the whole window at its own aspect, for a scene a
    // production draws without bars; viewportHeight is then the window's height.
    void windowPerspective(int width, int height, double farPlane);
};
