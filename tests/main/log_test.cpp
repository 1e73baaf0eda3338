#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "log.h"
#include "recover.h"

namespace {

TEST(LogPrefix, FormatsEachFieldWithTheHourPaddedByABlank) {
    struct Case {
        LogTime time;
        const char* expected;
    } cases[] = {
        {{2026, 12, 8, 9, 5, 3, 7}, "2026-12-08  9:05:03:007 "},
        {{2026, 1, 31, 23, 59, 59, 999}, "2026-01-31 23:59:59:999 "},
        {{1999, 7, 4, 0, 0, 0, 0}, "1999-07-04  0:00:00:000 "},
        {{2031, 10, 15, 12, 30, 0, 50}, "2031-10-15 12:30:00:050 "},
    };
    for (const Case& c : cases) {
        char out[64];
        EXPECT_STREQ(c.expected, formatLogPrefix(out, sizeof out, c.time));
    }
}

TEST(LogPrefix, IsCutAtTheBufferSize) {
    char out[8];
    formatLogPrefix(out, sizeof out, {2026, 12, 8, 9, 5, 3, 7});
    EXPECT_STREQ("2026-12", out);
}

TEST(GLErrorText, NamesEachCodeAndFallsBackToUnknown) {
    struct Case {
        unsigned code;
        const char* expected;
    } cases[] = {
        {0x0500, "GL_INVALID_ENUM in file src/x.cpp:7"},
        {0x0501, "GL_INVALID_VALUE in file src/x.cpp:7"},
        {0x0502, "GL_INVALID_OPERATION in file src/x.cpp:7"},
        {0x0503, "GL_STACK_OVERFLOW in file src/x.cpp:7"},
        {0x0504, "GL_STACK_UNDERFLOW in file src/x.cpp:7"},
        {0x0505, "GL_OUT_OF_MEMORY in file src/x.cpp:7"},
        {0x0506, "Unknown GL error in file src/x.cpp:7"},
        {0x9999, "Unknown GL error in file src/x.cpp:7"},
    };
    for (const Case& c : cases) {
        char out[200];
        formatGLError(out, sizeof out, c.code, "src/x.cpp", 7);
        EXPECT_STREQ(c.expected, out) << "code 0x" << std::hex << c.code;
    }
}

TEST(GLErrorText, IsCutAt200Bytes) {
    std::string longName(400, 'f');
    char out[200];
    formatGLError(out, sizeof out, 0x0500, longName.c_str(), 1);
    EXPECT_EQ(199u, strlen(out));
}

using LogDeathTest = testing::Test;

TEST_F(LogDeathTest, FatalErrorShowsTheCaptionTwiceAndExitsWithOne) {
    EXPECT_EXIT(fatalError("src/main/main.cpp", 42, "Video mode set failed: %s\n", "no"),
                testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/main/main.cpp:42 \\| Error in file "
                "src/main/main.cpp:42\\\\n\\\\nVideo mode set failed: no\\\\n");
}

TEST_F(LogDeathTest, FatalErrorDetailIsCutAt5000Bytes) {
    std::string detail(6000, 'x');
    EXPECT_EXIT(fatalError("a.cpp", 1, "%s", detail.c_str()), testing::ExitedWithCode(1),
                "\\| Error in file a.cpp:1\\\\n\\\\nx{4976}\n");
}

TEST_F(LogDeathTest, FatalAtShowsOnlyTheLocation) {
    EXPECT_EXIT(fatalAt("src/scenes/scene/scene.cpp", 12), testing::ExitedWithCode(1),
                "\\[box\\] Error \\| Error in file src/scenes/scene/scene.cpp:12\n");
}

TEST_F(LogDeathTest, AskExtensionCancelEndsWithOne) {
    setenv("FESTOONERY_ANSWERS", "cancel", 1);
    EXPECT_EXIT(askExtension("GLEW_ARB_point_sprite"), testing::ExitedWithCode(1),
                "\\[box\\] Extension GLEW_ARB_point_sprite not supported! \\| Extension "
                "GLEW_ARB_point_sprite not supported, which means this demo probably won't run "
                "very well or at all\\. If you still want to risk it, press OK\\. "
                "\\\\n\\\\n\\(Side effects may include bubonic plague");
}

TEST_F(LogDeathTest, AskExtensionOkReturns) {
    setenv("FESTOONERY_ANSWERS", "ok", 1);
    EXPECT_EXIT(
        {
            askExtension("GLEW_ARB_draw_buffers");
            fprintf(stderr, "went on\n");
            exit(0);
        },
        testing::ExitedWithCode(0), "answered ok\nwent on");
}

TEST_F(LogDeathTest, ErrorAtReturnsToTheCaller) {
    EXPECT_EXIT(
        {
            errorAt("src/util/texture/tga_loader.cpp", 85, "Invalid texture information");
            exit(0);
        },
        testing::ExitedWithCode(0),
        "\\[box\\] ERROR at src/util/texture/tga_loader.cpp:85 \\| Invalid texture information");
}

}  // namespace

namespace {

TEST(RequireGLDeathTest, AMissingEntryPointEndsWithABoxNamingIt) {
    EXPECT_EXIT(requireGL(nullptr, "glGenFramebuffersEXT", "src/util/fbo/fbo.cpp", 24),
                testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/util/fbo/fbo.cpp:24 \\| .*The OpenGL driver does not "
                "offer glGenFramebuffersEXT, which this demo needs");
}

}  // namespace

namespace {

// Development mode's reloads: the fatal paths inside recoverFatal show no box and end
// nothing; outside it they stay fatal.
TEST(RecoverFatal, FatalPathsInsideGiveTheirTextAsTheReasonAndReturn) {
    struct Case {
        const char* what;
        std::function<void()> work;
        bool ok;
        const char* reason;
    } cases[] = {
        {"nothing fails", [] {}, true, ""},
        {"fatalError", [] { fatalError("src/x.cpp", 3, "No MIDI track named '%s'\n", "Laed"); }, false,
         "No MIDI track named 'Laed'"},
        {"fatalAt", [] { fatalAt("src/util/music/midi.cpp", 122); }, false, "Error in file src/util/music/midi.cpp:122"},
        {"fatalAtReason", [] { fatalAtReason("src/util/music/midi.cpp", 140, "a program change in track %d", 2); },
         false, "a program change in track 2"},
        {"an error box and then a fatal error",
         [] {
             errorAt("src/util/texture/png_loader.cpp", 27, "Invalid texture\ninformation");
             fatalError("src/t.cpp", 9, "Failed to load image %s!", "a.png");
         },
         false, "Invalid texture information; Failed to load image a.png!"},
        {"an inner recovery does not end the outer work",
         [] {
             std::string inner;
             recoverFatal([] { fatalError("src/x.cpp", 1, "inner"); }, &inner);
             if (inner != "inner") fatalError("src/x.cpp", 2, "inner reason was '%s'", inner.c_str());
         },
         true, ""},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        std::string reason = "unset";
        bool ok = recoverFatal(c.work, &reason);
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.ok, ok) << c.what;
        EXPECT_EQ(c.reason, reason) << c.what;
        EXPECT_EQ(std::string::npos, errors.find("[box]")) << c.what << ": " << errors;
    }
}

TEST(RecoverFatalDeathTest, AfterwardsFatalErrorsAreFatalAgain) {
    std::string reason;
    recoverFatal([] { fatalError("src/x.cpp", 1, "recovered"); }, &reason);
    EXPECT_EXIT(fatalError("src/x.cpp", 2, "fatal again"), testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/x.cpp:2 .*fatal again");
}

}  // namespace
