#include "main/multisample.h"

#include <GL/glew.h>
#include <SDL.h>

#include <string>

#include "main/events.h"
#include "log.h"

int nextSampleCount(int tried, int offered) {
    if (tried <= 0) return -1;
    for (int count : kSampleCounts)
        if (count < tried && (offered < 0 || count <= offered)) return count;
    return 0;
}

bool openVideoMode(int width, int height, int depth, unsigned flags, int samples, int vsync, int* offered) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisampleBuffersFor(samples));
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, vsync);
    if (!SDL_SetVideoMode(width, height, depth, Uint32(flags))) return false;
    // Without multisampling nothing is looked at: an OpenGL error then is start-up's to report.
    if (samples <= 0) return true;
    GLenum error = glGetError();
    // Core since OpenGL 3.0 (and ARB_framebuffer_object); 0 where unknown.
    GLint max = 0, got = 0;
    glGetIntegerv(0x8D57 /* GL_MAX_SAMPLES */, &max);
    glGetIntegerv(GL_SAMPLES, &got);
    while (glGetError() != GL_NO_ERROR) {
    }
    if (max > 0) *offered = max;
    return error == GL_NO_ERROR && got > 0;
}

bool openVideoModeWithFallback(int width, int height, int depth, unsigned flags, int samples, int vsync) {
    int offered = -1, tried = samples;
    while (!openVideoMode(width, height, depth, flags, tried, vsync, &offered)) {
        tried = nextSampleCount(tried, offered);
        if (tried < 0) return false;
    }
    if (tried != samples)
        logLine("Anti-aliasing: the display offers no %ix, using %s\n", samples,
                tried > 0 ? (std::to_string(tried) + "x").c_str() : "none");
    return true;
}
