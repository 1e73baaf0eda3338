// Entry of the OpenGL tests: opens one SDL OpenGL window (under the test command's
// private Xvfb) and initialises GLEW before any test runs. Without a display or an
// OpenGL context every test is skipped with the reason, unless FESTOONERY_REQUIRE_GL
// is set (the test command sets it), which makes that a failure.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Opens the window and the context; the reason when none can be had, else "".
std::string openContext() {
    if (!getenv("DISPLAY") || !*getenv("DISPLAY")) return "no display (DISPLAY is not set)";
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return std::string("SDL_Init failed: ") + SDL_GetError();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    if (!SDL_SetVideoMode(320, 180, 0, SDL_OPENGL))
        return std::string("no OpenGL window: ") + SDL_GetError();
    if (glewInit() != GLEW_OK) return "glewInit failed";
    return "";
}

// Skips every test, saying why, when no OpenGL context could be made.
class NoContext : public testing::Environment {
public:
    explicit NoContext(std::string reason) : reason_(std::move(reason)) {}
    void SetUp() override { GTEST_SKIP() << "OpenGL tests need a display: " << reason_; }

private:
    std::string reason_;
};

}  // namespace

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
    std::string missing = openContext();
    if (!missing.empty()) {
        // The test command always has a display and must not pass without the tests.
        const char* required = getenv("FESTOONERY_REQUIRE_GL");
        if (required && *required && strcmp(required, "0") != 0) {
            fprintf(stderr, "gl tests: %s (FESTOONERY_REQUIRE_GL is set)\n", missing.c_str());
            return 1;
        }
        testing::AddGlobalTestEnvironment(new NoContext(missing));
    }
    int result = RUN_ALL_TESTS();
    if (!missing.empty()) {
        // This GoogleTest reports tests skipped by the environment as passed; say it in
        // its own words, which ctest takes as a skip.
        printf("[  SKIPPED ] %d tests: OpenGL tests need a display: %s\n",
               testing::UnitTest::GetInstance()->test_to_run_count(), missing.c_str());
    }
    SDL_Quit();
    return result;
}
