// One vertex and fragment program pair, GLSL or ARB assembly (chosen by the first five
// bytes of the vertex file), or the fixed-function pipeline when built without names.
#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

class ShaderProgram {
public:
    enum Kind : int { GLSL = 0, ARB = 1, None = -1 };

    // File names are tried as passed, then under "data/common/shaders/". A failure ends
    // the process with a box naming the pair by its bare names, what failed and the
    // first line of the driver's log ("Shader a.vert + a.frag: fragment shader compile
    // failed\n0:12(3): error: ..."), unless failures are not fatal
    // (setShaderFailuresFatal): the program then stands in for the pair, drawing
    // nothing, with its fault in shaderFaults() until a rebuild builds it. Null names
    // stand for the fixed pipeline.
    ShaderProgram(const char* vertexFile, const char* fragmentFile);
    // Leaves the uniform check and the faults; the GL objects stay (a rebuild's fresh
    // build hands its own on, and the shared programs live until the process ends).
    ~ShaderProgram();
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;

    // Builds the pair again (the files may have changed) without ending the process: on
    // success the new program replaces this one's (the old objects are deleted); on a
    // failure the log holds its lines and info log, this program stays as it was (a
    // stand-in goes on drawing nothing) and its fault is in shaderFaults().
    bool rebuild(const char* vertexFile, const char* fragmentFile);

    // Whether the program stands in for a pair that failed to build: it draws nothing
    // and the setUniform calls do nothing.
    bool standsIn() const { return standIn_; }

    // Once a frame's scenes have drawn (the scene manager calls it): each GLSL program
    // bound since the last call and not checked since its build logs, once, every float
    // uniform that the engine does not set (shader_inputs.h) and its owner has not set
    // by now through setUniform*: "Warning - uniform NAME of PAIR: " and noModulatorText
    // (util/music/sync_values.h) of NAME with its underscores as blanks. Nothing is
    // checked while the inputs are not filled.
    static void checkBoundUniforms();

    void bind();
    static void unbind();
    void setUniform1f(const char* name, float value);
    void setUniform2f(const char* name, float x, float y);
    void setUniform3fv(const char* name, const float* values);

    GLhandleARB vertexShader = 0;
    GLhandleARB fragmentShader = 0;
    GLhandleARB program = 0;
    GLuint vertexProgram = 0;
    GLuint fragmentProgram = 0;
    int kind = None;

    // The float and vec2 uniforms the linked GLSL program exposes, with their locations:
    // bind() sets those that util/shaderprogram/shader_inputs.h names.
    struct ActiveUniform {
        std::string name;
        GLint location;
        bool vec2;
    };
    const std::vector<ActiveUniform>& activeUniforms() const { return activeUniforms_; }

private:
    ShaderProgram() = default;
    void collectActiveUniforms();
    void applyShaderInputs();
    void noteOwnUniform(const char* name);
    void checkUniforms();
    // A program that draws nothing (the fixed pipeline where even that fails to build).
    void becomeStandIn();
    std::vector<ActiveUniform> activeUniforms_;
    // The names setUniform* were given before the check; kept across rebuilds.
    std::vector<std::string> ownUniforms_;
    std::string pair_;  // the bare names, "pulse.vert + pulse.frag"
    bool standIn_ = false;
    bool uniformsChecked_ = false;
    // The constructor's work; false only while a soft build collects failures.
    bool build(const char* vertexFile, const char* fragmentFile);
    void release();
};

// What keeps a pair from building, for development mode to show.
struct ShaderFault {
    std::string pair;    // the bare names, "pulse.vert + pulse.frag"
    std::string reason;  // "fragment shader compile failed"
    std::string log;     // the driver's whole info log; "" when it gave none
    bool standIn;        // the first build failed (nothing is drawn), else the previous build stays
};
// True (the default): a failed build ends the process. Development mode sets false
// before anything is built, so that a faulty shader never ends its run.
void setShaderFailuresFatal(bool fatal);
// One per program whose latest build or rebuild failed, in the order they arose.
std::vector<ShaderFault> shaderFaults();

// The whole file plus a NUL in a malloc'ed buffer (caller frees), or null.
char* readShaderFile(const char* name);
