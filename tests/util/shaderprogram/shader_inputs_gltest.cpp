// The engine's uniforms (beat, time, resolution and one per named modulator) reach the
// programs that declare them when they are bound, and no other uniform of any program;
// a uniform that neither the engine nor the program's owner sets is logged once.
#include "util/shaderprogram/shader_inputs.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/paths.h"
#include "util/shaderprogram/shaderprogram.h"

namespace {

const char* const kVertex =
    "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
// Declares all of them (and reads each, so none is optimised away) and one of its own.
const char* const kDeclaring =
    "#version 120\nuniform float beat; uniform float time; uniform vec2 resolution;\n"
    "uniform float pad_wobble; uniform float own;\n"
    "void main() { gl_FragColor = vec4(beat + time, resolution.x + resolution.y, pad_wobble, own); }\n";
// A modulator's name mistyped, one far from any, one its owner sets and two of the
// engine's.
const char* const kMistyped =
    "#version 120\nuniform float beat; uniform float kick_glw; uniform float far_off; uniform float own;\n"
    "uniform float pad_wobble;\n"
    "void main() { gl_FragColor = vec4(beat + kick_glw, far_off, own, pad_wobble); }\n";
// Declares none of the engine's names.
const char* const kPlain =
    "#version 120\nuniform float blocks;\nvoid main() { gl_FragColor = vec4(blocks); }\n";

class ShaderInputsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = testpaths::freshScratchDir("shader_inputs");
        testpaths::writeFile(dir_ + "/a.vert", kVertex);
        testpaths::writeFile(dir_ + "/declaring.frag", kDeclaring);
        testpaths::writeFile(dir_ + "/plain.frag", kPlain);
        testpaths::writeFile(dir_ + "/mistyped.frag", kMistyped);
        saved_ = shaderInputs();
    }
    void TearDown() override {
        shaderInputs() = saved_;
        ShaderProgram::unbind();
    }
    std::string path(const char* name) { return dir_ + "/" + name; }

    static float uniform(const ShaderProgram& p, const char* name, int component = 0) {
        GLint location = glGetUniformLocation(p.program, name);
        EXPECT_NE(-1, location) << name;
        float values[2] = {-1.0f, -1.0f};
        glGetUniformfv(p.program, location, values);
        return values[component];
    }

    std::string dir_;
    ShaderInputs saved_;
};

TEST_F(ShaderInputsTest, AProgramThatDeclaresThemReceivesThemWhenBound) {
    ShaderProgram p(path("a.vert").c_str(), path("declaring.frag").c_str());
    p.bind();
    p.setUniform1f("own", 5.0f);
    ShaderProgram::unbind();

    ShaderInputs& in = shaderInputs();
    in.active = true;
    in.beat = 52.5f;
    in.seconds = 26.25f;
    in.width = 320.0f;
    in.height = 180.0f;
    in.values = {{"kick_glow", 0.25f}, {"pad_wobble", 0.75f}};
    p.bind();
    EXPECT_EQ(52.5f, uniform(p, "beat"));
    EXPECT_EQ(26.25f, uniform(p, "time"));
    EXPECT_EQ(320.0f, uniform(p, "resolution", 0));
    EXPECT_EQ(180.0f, uniform(p, "resolution", 1));
    EXPECT_EQ(0.75f, uniform(p, "pad_wobble"));
    EXPECT_EQ(5.0f, uniform(p, "own")) << "the program's own uniform is its own";

    // Set again at every bind; nothing while the inputs are not filled.
    in.beat = 53.0f;
    p.bind();
    EXPECT_EQ(53.0f, uniform(p, "beat"));
    in.active = false;
    in.beat = 99.0f;
    p.bind();
    EXPECT_EQ(53.0f, uniform(p, "beat"));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderInputsTest, AProgramThatDeclaresNoneIsLeftAlone) {
    ShaderProgram p(path("a.vert").c_str(), path("plain.frag").c_str());
    p.bind();
    p.setUniform1f("blocks", 7.0f);
    ShaderInputs& in = shaderInputs();
    in.active = true;
    in.beat = 12.0f;
    in.values = {{"pad_wobble", 0.75f}};
    p.bind();
    EXPECT_EQ(7.0f, uniform(p, "blocks"));
    for (const ShaderProgram::ActiveUniform& u : p.activeUniforms()) EXPECT_EQ("blocks", u.name);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderInputsTest, AUniformThatNamesNoModulatorIsLoggedOnceAfterAFrame) {
    ShaderProgram p(path("a.vert").c_str(), path("mistyped.frag").c_str());
    ShaderInputs& in = shaderInputs();
    in.active = true;
    in.values = {{"kick_glow", 0.25f}, {"pad_wobble", 0.75f}};
    in.names = {"kick glow", "pad wobble"};
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 3; ++frame) {
        p.bind();
        p.setUniform1f("own", 1.0f);
        ShaderProgram::checkBoundUniforms();
    }
    std::string log = testing::internal::GetCapturedStdout();
    // Two lines in all: beat, pad_wobble and own are set.
    size_t kick = log.find("Warning - uniform kick_glw of a.vert + mistyped.frag: no modulator 'kick glw'; "
                           "did you mean 'kick glow'?\n");
    size_t far = log.find("Warning - uniform far_off of a.vert + mistyped.frag: no modulator 'far off'\n");
    EXPECT_NE(std::string::npos, kick) << log;
    EXPECT_NE(std::string::npos, far) << log;
    EXPECT_EQ(std::min(kick, far), log.find("Warning - ")) << log;
    EXPECT_EQ(std::max(kick, far), log.rfind("Warning - ")) << log;
}

}  // namespace
