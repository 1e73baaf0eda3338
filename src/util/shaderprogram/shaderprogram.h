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
    // failed\n0:12(3): error: ..."). Null names stand for the fixed pipeline.
    ShaderProgram(const char* vertexFile, const char* fragmentFile);

    // Builds the pair again (the files may have changed) without ending the process: on
    // success the new program replaces this one's (the old objects are deleted); on a
    // failure the log holds its lines and info log, and this program stays as it was.
    bool rebuild(const char* vertexFile, const char* fragmentFile);

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
    std::vector<ActiveUniform> activeUniforms_;
    // The constructor's work; false only while a rebuild collects failures.
    bool build(const char* vertexFile, const char* fragmentFile);
    void release();
};

// The whole file plus a NUL in a malloc'ed buffer (caller frees), or null.
char* readShaderFile(const char* name);
