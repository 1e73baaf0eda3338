// Entry of the OpenGL tests: opens one SDL OpenGL window (under the test command's
// private Xvfb) and initialises GLEW before any test runs.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    // Listing the tests needs no context (test discovery runs that way). InitGoogleTest
    // removes the flags it knows, so look before it.
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0) listing = true;
    }
    testing::InitGoogleTest(&argc, argv);
    if (listing) return RUN_ALL_TESTS();
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "gl tests: SDL_Init failed: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    if (!SDL_SetVideoMode(320, 180, 0, SDL_OPENGL)) {
        fprintf(stderr, "gl tests: no OpenGL window: %s\n", SDL_GetError());
        return 1;
    }
    if (glewInit() != GLEW_OK) {
        fprintf(stderr, "gl tests: glewInit failed\n");
        return 1;
    }
    int result = RUN_ALL_TESTS();
    SDL_Quit();
    return result;
}
