// Shader programs under Mesa: every pair the production builds, ARB assembly pairs,
// the fixed pipeline, every fatal path with its log line and box, and the stand-in of a
// pair that fails while failures are not fatal.
#include "util/shaderprogram/shaderprogram.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "scenes/scene/shaderset.h"
#include "support/paths.h"
#include "util/shaderprogram/gltest_helpers.h"

namespace {

const char* const kSource = "src/util/shaderprogram/shaderprogram.cpp";

// Small ARB assembly programs: the vertex program passes position and colour, the
// fragment program writes a constant colour.
const char* const kArbVertex =
    "!!ARBvp1.0\n"
    "PARAM mvp[4] = { state.matrix.mvp };\n"
    "DP4 result.position.x, mvp[0], vertex.position;\n"
    "DP4 result.position.y, mvp[1], vertex.position;\n"
    "DP4 result.position.z, mvp[2], vertex.position;\n"
    "DP4 result.position.w, mvp[3], vertex.position;\n"
    "MOV result.color, vertex.color;\n"
    "END\n";
const char* const kArbFragment =
    "!!ARBfp1.0\n"
    "MOV result.color, { 0.0, 1.0, 0.0, 1.0 };\n"
    "END\n";
const char* const kGlslVertex =
    "#version 120\nvoid main() { gl_Position = ftransform(); gl_FrontColor = gl_Color; }\n";
const char* const kGlslFragment = "#version 120\nvoid main() { gl_FragColor = gl_Color; }\n";

class ShaderProgramTest : public testing::Test {
protected:
    void SetUp() override {
        gltest::useThreadsafeDeathTests();
        ShaderProgram::unbind();
        dir_ = testpaths::freshScratchDir(std::string("shaderprogram_") +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    // Writes a fixture file and returns its absolute path.
    std::string file(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        testpaths::writeFile(path, text);
        return path;
    }
    std::string dir_;
};

GLint programStatus(GLuint program, GLenum which) {
    GLint status = 0;
    glGetProgramiv(program, which, &status);
    return status;
}

TEST_F(ShaderProgramTest, EveryPairOfTheShaderSetBuildsLinksAndValidates) {
    // The set's own table, by bare name as the set passes them; the last entry is the
    // fixed pipeline, which has no files.
    for (int i = 0; i < kShaderCount - 1; ++i) {
        SCOPED_TRACE(std::string(kShaderFiles[i].vertex) + " + " + kShaderFiles[i].fragment);
        ShaderProgram program(kShaderFiles[i].vertex, kShaderFiles[i].fragment);
        EXPECT_EQ(ShaderProgram::GLSL, program.kind);
        EXPECT_NE(0u, program.program);
        EXPECT_NE(0u, program.vertexShader);
        EXPECT_NE(0u, program.fragmentShader);
        EXPECT_EQ(0u, program.vertexProgram);
        EXPECT_EQ(1, programStatus(program.program, GL_LINK_STATUS));
        // Every sampler left on unit 0 must still validate (the state at load time).
        glValidateProgram(program.program);
        EXPECT_EQ(1, programStatus(program.program, GL_VALIDATE_STATUS));
        program.bind();
        GLint current = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        EXPECT_EQ(GLint(program.program), current);
        ShaderProgram::unbind();
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
}

TEST_F(ShaderProgramTest, BillboardKeepsItsThreeUniformsAndSamplesUnitZero) {
    ShaderProgram billboard("billboard.vert", "billboard.frag");
    for (const char* name : {"right", "up", "size"}) {
        EXPECT_NE(-1, glGetUniformLocation(billboard.program, name)) << name;
    }
    GLint sampler = glGetUniformLocation(billboard.program, "particle");
    ASSERT_NE(-1, sampler);
    GLint unit = -1;
    glGetUniformiv(billboard.program, sampler, &unit);
    EXPECT_EQ(0, unit) << "the particle texture is bound on unit 0";
}

// Draws one particle (four vertices at one point) through the billboard program into
// the window and reads pixels back: the quad must be spread by right, up and size (the
// glow's radius) and coloured as the particle look asks: texture RGB times the colour
// with its saturation doubled about its peak, whitened towards the peak where the
// texture's alpha is full (the core), times the depth cue 1.4 - distance / 110 clamped
// to [0.5, 1.25].
TEST_F(ShaderProgramTest, BillboardSpreadsFourEqualVerticesIntoATintedSquare) {
    ShaderProgram billboard("billboard.vert", "billboard.frag");
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Left texel a halo (alpha 0), right texel the core (alpha 255); both halve red.
    const unsigned char texels[8] = {128, 255, 255, 0, 128, 255, 255, 255};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glViewport(0, 0, 320, 180);

    struct Case {
        float distance;      // from the eye, in world units
        int halo[3], core[3];  // expected colours of the two halves
    } cases[] = {
        // Colour (1, 0.5, 0.25) saturates to (1, 0, 0); the core whitens it to (1, 0.6, 0.6).
        {0.0f, {160, 0, 0}, {160, 191, 191}},   // near: glow 1.25
        {110.0f, {64, 0, 0}, {64, 77, 77}},     // far: glow 0.5
    };
    for (const Case& c : cases) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1, 200);  // parallel: the square's size does not depend on depth
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);

        billboard.bind();
        const float right[3] = {1, 0, 0};
        const float up[3] = {0, 1, 0};
        billboard.setUniform3fv("right", right);
        billboard.setUniform3fv("up", up);
        billboard.setUniform1f("size", 0.5f);  // radius 0.5 of the 2-unit clip square: half the window
        glBegin(GL_QUADS);
        glColor4f(1.0f, 0.5f, 0.25f, 1.0f);
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& corner : corners) {
            glTexCoord2f(corner[0], corner[1]);
            glVertex3f(0, 0, -c.distance);
        }
        glEnd();
        ShaderProgram::unbind();

        struct Probe {
            int x, y;
            const int* expected;  // null: outside
        };
        // The square covers x 80..239 and y 45..134 of the 320 x 180 window; the halo
        // texel its left half, the core texel its right half.
        const int black[3] = {0, 0, 0};
        const Probe probes[] = {{100, 90, c.halo}, {82, 47, c.halo},  {220, 90, c.core}, {237, 132, c.core},
                                {78, 90, black},   {241, 90, black},  {160, 43, black},  {160, 136, black},
                                {5, 5, black}};
        for (const Probe& p : probes) {
            unsigned char rgba[4] = {9, 9, 9, 9};
            glReadPixels(p.x, p.y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(p.expected[i], rgba[i], 2)
                    << "distance " << c.distance << " pixel " << p.x << "," << p.y << " channel " << i;
            }
        }
    }
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderProgramTest, ArbAssemblyPairLoadsBindsAndDraws) {
    ShaderProgram arb(file("pass.vp", kArbVertex).c_str(), file("green.fp", kArbFragment).c_str());
    EXPECT_EQ(ShaderProgram::ARB, arb.kind);
    EXPECT_NE(0u, arb.vertexProgram);
    EXPECT_NE(0u, arb.fragmentProgram);
    EXPECT_EQ(0u, arb.program);
    EXPECT_EQ(0u, arb.vertexShader);

    arb.bind();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_TRUE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    GLint bound = 0;
    glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &bound);
    EXPECT_EQ(GLint(arb.vertexProgram), bound);
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &bound);
    EXPECT_EQ(GLint(arb.fragmentProgram), bound);

    glViewport(0, 0, 320, 180);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 0, 0);  // the fragment program replaces it with green
    glRectf(-0.5f, -0.5f, 0.5f, 0.5f);
    unsigned char rgba[4] = {0, 0, 0, 0};
    glReadPixels(160, 90, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(0, rgba[0]);
    EXPECT_EQ(255, rgba[1]);

    ShaderProgram::unbind();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderProgramTest, OnlyTheFirstFiveBytesSelectArbAssembly) {
    // "!!ARBvp1.0" and "!!ARBfp1.0" differ after the fifth byte; both are ARB.
    ShaderProgram arb(file("v.txt", kArbVertex).c_str(), file("f.txt", kArbFragment).c_str());
    EXPECT_EQ(ShaderProgram::ARB, arb.kind);
    // "!!AR" alone is not the header: GLSL, which the compiler then refuses.
    std::string vertex = file("v4.txt", "!!AR\n");
    std::string fragment = file("f4.txt", kGlslFragment);
    EXPECT_EXIT(
        {
            gltest::logToStderr();
            ShaderProgram glsl(vertex.c_str(), fragment.c_str());
        },
        testing::ExitedWithCode(1),
        "Compiling and linking GLSL: .*v4\\.txt .*f4\\.txt.*--- Vertex shader compile failed");
}

TEST_F(ShaderProgramTest, NullNamesStandForTheFixedPipeline) {
    struct Case {
        const char* vertex;
        const char* fragment;
    };
    const Case cases[] = {{nullptr, "billboard.frag"}, {"billboard.vert", nullptr}, {nullptr, nullptr}};
    ShaderProgram glsl("billboard.vert", "billboard.frag");
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        ShaderProgram fixed(c.vertex, c.fragment);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(std::string::npos, log.find("NULL shader program specified, using fixed pipeline\n")) << log;
        EXPECT_EQ(0u, fixed.program);
        EXPECT_EQ(ShaderProgram::None, fixed.kind);
        // Binding it leaves no program of either language active.
        glsl.bind();
        glEnable(GL_VERTEX_PROGRAM_ARB);
        fixed.bind();
        GLint current = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        EXPECT_EQ(0, current);
        EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
        EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    }
}

TEST_F(ShaderProgramTest, ReadShaderFileTriesTheNameThenTheShaderDirectory) {
    // As passed (absolute), including Windows line ends, byte for byte.
    std::string crlf = "line one\r\nline two\r\n";
    std::string path = file("crlf.vert", crlf);
    char* text = readShaderFile(path.c_str());
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(crlf, std::string(text));
    EXPECT_EQ('\0', text[crlf.size()]);
    free(text);

    // Only under data/common/shaders/ (the tests run beside a "data" link).
    text = readShaderFile("billboard.frag");
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(testpaths::readFile(testpaths::source("data/common/shaders/billboard.frag")),
              std::string(text));
    free(text);

    // An empty file is an empty text, not a failure.
    text = readShaderFile(file("empty.vert", "").c_str());
    ASSERT_NE(nullptr, text);
    EXPECT_EQ('\0', text[0]);
    free(text);

    testing::internal::CaptureStdout();
    text = readShaderFile("no_such_shader.vert");
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(nullptr, text);
    EXPECT_NE(std::string::npos, log.find("Failed to open file no_such_shader.vert\n")) << log;
}

struct FatalCase {
    const char* name;
    std::string vertex;    // file text, or "" for a file that does not exist
    std::string fragment;
    std::string logged;    // regex over the log lines before the box
    std::string box;       // regex of the box's text after "Shader PAIR: "
};

TEST_F(ShaderProgramTest, EveryBuildFailureEndsTheProcessWithItsLogLineAndABoxNamingThePair) {
    using gltest::re;
    const FatalCase cases[] = {
        {"vertex file missing", "", kGlslFragment, "Failed to open file missing\\.vert\n",
         re("cannot read missing.vert") + "\n"},
        {"fragment file missing", kGlslVertex, "", "Failed to open file missing\\.frag\n",
         re("cannot read missing.frag") + "\n"},
        {"ARB vertex with GLSL fragment", kArbVertex, kGlslFragment, "Mismatch in vertex/fragment shader file formats!\n",
         re("the vertex file is ARB assembly, the fragment file is not") + "\n"},
        {"GLSL vertex with ARB fragment", kGlslVertex, kArbFragment,
         "Compiling and linking GLSL.*--- Fragment shader compile failed, log:\n .+---\n",
         re("fragment shader compile failed\n") + "0:1\\([0-9]+\\): error: "},
        {"vertex compile error", "#version 120\nvoid main() { gl_Position = undeclared; }\n", kGlslFragment,
         "--- Vertex shader compile failed, log:\n .*undeclared.*---\n",
         re("vertex shader compile failed\n") + "0:2\\([0-9]+\\): error: `undeclared' undeclared"},
        // Two errors, two lines of log: the box holds the first alone.
        {"fragment compile errors", kGlslVertex,
         "#version 120\nvoid main() { float x = a;\nfloat y = b;\ngl_FragColor = vec4(x, y, 0.0, 1.0); }\n",
         "--- Fragment shader compile failed, log:\n .*`a' undeclared\n.*`b' undeclared.*---\n",
         re("fragment shader compile failed\n") + "0:2\\([0-9]+\\): error: `a' undeclared\n"},
        {"link error: varying never written", kGlslVertex,
         "#version 120\nvarying vec4 shade;\nvoid main() { gl_FragColor = shade; }\n",
         "--- Shader linking failed, log:\n .*shade.*---\n", re("link failed\n") + "error: .*shade"},
        {"validation error: two sampler types on unit 0", kGlslVertex,
         "#version 120\nuniform sampler2D a;\nuniform sampler3D b;\n"
         "void main() { gl_FragColor = texture2D(a, vec2(0.5)) + texture3D(b, vec3(0.5)); }\n",
         "--- Shader program validation failed, log:\n .+---\n", re("validation failed\n") + ".+"},
        {"ARB vertex program rejected", "!!ARBvp1.0\nBOGUS result.position;\nEND\n", kArbFragment,
         "ARB assembly shader detected!\n.*Vertex program error at position: [0-9]+\n.+\n",
         re("vertex program rejected at position ") + "[0-9]+" + re("\n") + "line 2, char 1: error: "},
        {"ARB fragment program rejected", kArbVertex, "!!ARBfp1.0\nBOGUS result.color;\nEND\n",
         "Fragment program error at position: [0-9]+\n.+\n",
         re("fragment program rejected at position ") + "[0-9]+" + re("\n") + "line 2, char 1: error: "},
    };
    for (const FatalCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string vertex = c.vertex.empty() ? "missing.vert" : file("case.vert", c.vertex);
        std::string fragment = c.fragment.empty() ? "missing.frag" : file("case.frag", c.fragment);
        std::string pair = std::string(c.vertex.empty() ? "missing.vert" : "case.vert") + " + " +
                           (c.fragment.empty() ? "missing.frag" : "case.frag");
        EXPECT_EXIT(
            {
                gltest::logToStderr();
                ShaderProgram program(vertex.c_str(), fragment.c_str());
            },
            testing::ExitedWithCode(1), c.logged + ".*\\[box\\] Error \\| " + re("Shader " + pair + ": ") + c.box);
    }
}

TEST_F(ShaderProgramTest, AMissingUniformEndsTheProcessNamingItAndTheProgram) {
    const float three[3] = {0, 0, 0};
    // "unused" is declared but never read: the compiler drops it, so it is missing too.
    std::string vertex = file("u.vert", kGlslVertex);
    std::string fragment =
        file("u.frag", "#version 120\nuniform float unused;\nvoid main() { gl_FragColor = gl_Color; }\n");
    EXPECT_EXIT(
        {
            ShaderProgram billboard("billboard.vert", "billboard.frag");
            billboard.bind();
            billboard.setUniform1f("sizee", 1.0f);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kSource, "Couldn't find uniform sizee in ") + "[1-9][0-9]*");
    EXPECT_EXIT(
        {
            ShaderProgram billboard("billboard.vert", "billboard.frag");
            billboard.bind();
            billboard.setUniform3fv("Right", three);
        },
        testing::ExitedWithCode(1),
        gltest::fatalBox(kSource, "Couldn't find uniform Right in ") + "[1-9][0-9]*");
    // The message names the program handle the child printed (no back-references in
    // these regexes: one alternative per plausible handle).
    std::string sameHandle;
    for (int handle = 1; handle <= 64; ++handle) {
        std::string h = std::to_string(handle);
        sameHandle += (handle > 1 ? "|" : "") + ("program " + h + "\n.*" +
                      gltest::fatalBox(kSource, "Couldn't find uniform unused in " + h) + "\n");
    }
    EXPECT_EXIT(
        {
            ShaderProgram program(vertex.c_str(), fragment.c_str());
            program.bind();
            fprintf(stderr, "program %u\n", unsigned(program.program));
            program.setUniform1f("unused", 1.0f);
        },
        testing::ExitedWithCode(1), "(" + sameHandle + ")");
}

}  // namespace

// Development mode's reload: a pair that no longer builds leaves the program as it was
// and the process running, with the driver's log in the log; one that builds replaces it.
TEST_F(ShaderProgramTest, ARebuildThatFailsKeepsThePreviousProgram) {
    std::string vertex = file("r.vert", kGlslVertex);
    std::string fragment = file("r.frag", kGlslFragment);
    ShaderProgram glsl(vertex.c_str(), fragment.c_str());
    std::string arbVertex = file("r.vp", kArbVertex), arbFragment = file("r.fp", kArbFragment);
    ShaderProgram arb(arbVertex.c_str(), arbFragment.c_str());
    struct Case {
        const char* name;
        ShaderProgram* program;
        std::string vertexText, fragmentText;  // "" leaves the file missing
        std::string logged;
    } cases[] = {
        {"compile error", &glsl, kGlslVertex, "#version 120\nvoid main() { gl_FragColor = nope; }\n",
         "--- Fragment shader compile failed, log:\n"},
        {"missing file", &glsl, kGlslVertex, "", "Failed to open file"},
        {"rejected ARB program", &arb, kArbVertex, "!!ARBfp1.0\nBOGUS result.color;\nEND\n",
         "Fragment program error at position:"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool isArb = c.program == &arb;
        std::string v = file(isArb ? "new.vp" : "new.vert", c.vertexText);
        std::string f = c.fragmentText.empty() ? dir_ + "/missing.frag" : file(isArb ? "new.fp" : "new.frag", c.fragmentText);
        GLhandleARB before = c.program->program;
        GLuint beforeArb = c.program->fragmentProgram;
        testing::internal::CaptureStdout();
        bool rebuilt = c.program->rebuild(v.c_str(), f.c_str());
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(rebuilt);
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        EXPECT_EQ(before, c.program->program);
        EXPECT_EQ(beforeArb, c.program->fragmentProgram);
        c.program->bind();
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError()) << "the previous program still binds";
        ShaderProgram::unbind();
    }
    testing::internal::CaptureStdout();
    EXPECT_TRUE(glsl.rebuild(vertex.c_str(), fragment.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(GLint(GL_TRUE), programStatus(glsl.program, GL_LINK_STATUS));
}

// Development mode: a pair that fails to build stands in, drawing nothing, with its fault
// listed, however the program was built; the set's rebuild builds it once it is fixed.
TEST_F(ShaderProgramTest, WhileFailuresAreNotFatalAFailedPairStandsInUntilItsRebuild) {
    // Bare names are tried in the working folder first: a broken billboard.frag there,
    // the other shared files through a link to the tree.
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, symlink(testpaths::source("data").c_str(), (dir_ + "/data").c_str()));
    ASSERT_EQ(0, chdir(dir_.c_str()));
    const std::string vertex = file("own.vert", kGlslVertex);
    struct Case {
        bool buildAll;
        const char* fragment;  // the file broken, then fixed
        ShaderProgram* (*build)(ShaderSet*, const std::string& vertex, const std::string& fragment);
    } cases[] = {
        {true, "billboard.frag", [](ShaderSet* set, const std::string&, const std::string&) { return set->billboard; }},
        {false, "billboard.frag",
         [](ShaderSet* set, const std::string&, const std::string&) { return set->require(&ShaderSet::billboard); }},
        {false, "own.frag",
         [](ShaderSet* set, const std::string& v, const std::string& f) { return set->build(v.c_str(), f.c_str()); }},
    };
    setShaderFailuresFatal(false);
    for (const Case& c : cases) {
        const bool shared = std::string(c.fragment) == "billboard.frag";
        const std::string pair = shared ? "billboard.vert + billboard.frag" : "own.vert + own.frag";
        SCOPED_TRACE(pair + (c.buildAll ? " in the whole set" : " on demand"));
        auto fault = [&pair]() {
            std::vector<ShaderFault> faults = shaderFaults();
            return std::count_if(faults.begin(), faults.end(), [&](const ShaderFault& f) {
                return f.pair == pair && f.standIn && f.reason == "fragment shader compile failed" &&
                       f.log.find("`missing' undeclared") != std::string::npos;
            });
        };
        const std::string fragment = file(c.fragment, "#version 120\nvoid main() { gl_FragColor = missing; }\n");
        testing::internal::CaptureStdout();
        ShaderSet* set = new ShaderSet(c.buildAll);
        ShaderProgram* program = c.build(set, vertex, fragment);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(program->standsIn());
        EXPECT_EQ(1, fault());
        EXPECT_NE(std::string::npos, log.find("[dev] shader " + pair + " failed to build, drawing nothing until it "
                                              "builds: fragment shader compile failed: 0:2("))
            << log;
        // Nothing is drawn where the fixed pipeline would draw white; the owner's uniform
        // goes nowhere.
        glViewport(0, 0, 320, 180);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glClear(GL_COLOR_BUFFER_BIT);
        program->bind();
        program->setUniform1f("size", 1.0f);
        glColor3f(1, 1, 1);
        glRectf(-1, -1, 1, 1);
        ShaderProgram::unbind();
        unsigned char rgba[4] = {9, 9, 9, 9};
        glReadPixels(160, 90, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        EXPECT_EQ(0, rgba[0] + rgba[1] + rgba[2]);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());

        file(c.fragment, shared ? testpaths::readFile(testpaths::source("data/common/shaders/billboard.frag"))
                                : std::string(kGlslFragment));
        testing::internal::CaptureStdout();
        std::vector<std::string> failed;
        set->rebuildAll(&failed);
        log = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(failed.empty());
        EXPECT_FALSE(program->standsIn());
        EXPECT_EQ(1, programStatus(program->program, GL_LINK_STATUS));
        EXPECT_EQ(0, fault());
        EXPECT_NE(std::string::npos, log.find("[dev] shader " + pair + " built, drawing again\n")) << log;
    }
    setShaderFailuresFatal(true);
    ASSERT_EQ(0, chdir(cwd));
}
