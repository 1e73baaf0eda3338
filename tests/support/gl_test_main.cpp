// Entry of the OpenGL tests: opens one SDL OpenGL window (under the test command's
// private Xvfb) and initialises GLEW before any test runs.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <malloc.h>
#include <cstdio>
#include <cstdlib>
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
    // llvmpipe's rasterizer threads keep frames' binned geometry alive and fill malloc
    // arenas of their own, so the resident size swings by tens of MiB from frame to frame
    // and its floor moves in 4 MiB steps. Rasterizing on this thread into one arena
    // leaves the resident size to what the process keeps, which the soak measures to
    // 1 MB. Before SDL_Init: the driver reads this when the context is made, and
    // mallopt must precede any thread.
    setenv("LP_NUM_THREADS", "0", 0);
    mallopt(M_ARENA_MAX, 1);
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
