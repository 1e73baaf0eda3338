#include "util/shaderprogram/shaderprogram.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log.h"
#include "util/data/data.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shader_inputs.h"

namespace {

// Set while a build must not end the process (a rebuild, or any build while failures
// are not fatal): the failure is described here and the build stops.
struct BuildFailure {
    std::string reason;  // "fragment shader compile failed"
    std::string log;     // the driver's whole info log, "" when it gave none
};
BuildFailure* g_softFailure = nullptr;
bool g_failuresFatal = true;

// The faults that stand, by program, in the order they arose.
std::vector<std::pair<const ShaderProgram*, ShaderFault>> g_faults;
// Programs bound since the last checkBoundUniforms whose uniforms are not yet checked.
std::vector<ShaderProgram*> g_unchecked;

const char* bareName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string pairOf(const char* vertexFile, const char* fragmentFile) {
    if (!vertexFile || !fragmentFile) return std::string();
    return std::string(bareName(vertexFile)) + " + " + bareName(fragmentFile);
}

// The first line of text that holds more than blanks, without its line end and
// trailing blanks; "" when there is none.
std::string firstLine(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t last = line.find_last_not_of(" \t\r");
        if (last != std::string::npos) return line.substr(0, last + 1);
        start = end + 1;
    }
    return std::string();
}

// A build failure of the pair: fatal, the box naming the pair, the reason and the log's
// first line; unless a soft build collects it (then false).
bool buildFailed(const std::string& pair, const std::string& reason, const std::string& log = std::string()) {
    if (!g_softFailure) {
        std::string text = "Shader " + pair + ": " + reason;
        std::string first = firstLine(log);
        if (!first.empty()) text += "\n" + first;
        fatalText(text.c_str());
    }
    g_softFailure->reason = reason;
    g_softFailure->log = log;
    return false;
}

void noteFault(const ShaderProgram* program, const ShaderFault& fault) {
    for (auto& entry : g_faults)
        if (entry.first == program) {
            entry.second = fault;
            return;
        }
    g_faults.emplace_back(program, fault);
}

void clearFault(const ShaderProgram* program) {
    g_faults.erase(std::remove_if(g_faults.begin(), g_faults.end(),
                                  [program](const auto& entry) { return entry.first == program; }),
                   g_faults.end());
}

// The status, log and uniform queries below are OpenGL 2.0 entry points. A context
// that reports an older version (Mesa lowers it when one of 2.0's extensions is taken
// away, and the viewer may choose to go on without it) lacks them; the
// ARB_shader_objects calls answer the same questions with the same enum values.
void objectParameter(GLhandleARB object, bool isProgram, GLenum name, GLint* value) {
    if (isProgram && glGetProgramiv) {
        glGetProgramiv(object, name, value);
    } else if (!isProgram && glGetShaderiv) {
        glGetShaderiv(object, name, value);
    } else {
        glGetObjectParameterivARB(object, name, value);
    }
}

void objectInfoLog(GLhandleARB object, bool isProgram, GLsizei size, GLsizei* written,
                   char* log) {
    if (isProgram && glGetProgramInfoLog) {
        glGetProgramInfoLog(object, size, written, log);
    } else if (!isProgram && glGetShaderInfoLog) {
        glGetShaderInfoLog(object, size, written, log);
    } else {
        glGetInfoLogARB(object, size, written, log);
    }
}

GLint uniformLocation(GLhandleARB program, const char* name) {
    return glGetUniformLocation ? glGetUniformLocation(program, name)
                                : glGetUniformLocationARB(program, name);
}

// The info log of a shader or program object; "" when the driver reports none.
std::string shaderInfoLog(GLhandleARB object, bool isProgram) {
    GLint length = 0;
    objectParameter(object, isProgram, GL_INFO_LOG_LENGTH, &length);
    if (length < 1) length = 1;
    std::vector<char> log(size_t(length) + 1, '\0');
    GLsizei written = 0;
    objectInfoLog(object, isProgram, length, &written, log.data());
    if (written < 0) written = 0;
    if (written > length) written = length;
    return std::string(log.data(), size_t(written));
}

bool compileShader(GLhandleARB shader, const char* failureLine, const std::string& pair, const char* reason) {
    glCompileShaderARB(shader);
    CHECK_GL();
    GLint status = 0;
    objectParameter(shader, false, GL_COMPILE_STATUS, &status);
    if (status != 1) {
        std::string log = shaderInfoLog(shader, false);
        logLine(failureLine, log.c_str());
        return buildFailed(pair, reason, log);
    }
    return true;
}

// Loads one ARB assembly program into the given target; a rejected program logs the
// driver's position and message, then fails as any build does.
bool loadArbProgram(GLenum target, GLuint* name, const char* text, const char* which, const std::string& pair) {
    glGenProgramsARB(1, name);
    glBindProgramARB(target, *name);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, GLsizei(strlen(text)), text);
    GLint position = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
    if (position != -1) {
        const char* message = reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB));
        std::string log = message ? message : "";
        logLine("%s program error at position: %d\n%s\n", which, int(position), log.c_str());
        // The rejected string left an error that a soft build, which goes on, must not
        // leave for the next check.
        while (glGetError() != GL_NO_ERROR) {
        }
        std::string reason = std::string(which) + " program rejected at position " + std::to_string(position);
        reason[0] = char(tolower(reason[0]));
        return buildFailed(pair, reason, log);
    }
    GLint native = 0;
    glGetProgramivARB(target, GL_PROGRAM_UNDER_NATIVE_LIMITS_ARB, &native);
    if (native != 1) logLine("Warning - program is not within native hardware limits\n");
    return true;
}

}  // namespace

char* readShaderFile(const char* name) {
    FILE* file = dataOpen(name, "rt");
    if (!file) {
        std::string path = std::string("data/common/shaders/") + name;
        file = dataOpen(path.c_str(), "rt");
    }
    if (!file) {
        logLine("Failed to open file %s\n", name);
        return nullptr;
    }
    char* text = nullptr;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    // An unseekable stream has no length: treated like an unreadable file.
    if (length >= 0) {
        rewind(file);
        text = static_cast<char*>(malloc(size_t(length) + 1));
        if (text) {
            size_t got = fread(text, 1, size_t(length), file);
            text[got] = '\0';  // text mode may deliver fewer bytes than the length
        }
    }
    fclose(file);
    return text;
}

void setShaderFailuresFatal(bool fatal) { g_failuresFatal = fatal; }

std::vector<ShaderFault> shaderFaults() {
    std::vector<ShaderFault> faults;
    for (const auto& entry : g_faults) faults.push_back(entry.second);
    return faults;
}

ShaderProgram::ShaderProgram(const char* vertexFile, const char* fragmentFile)
    : pair_(pairOf(vertexFile, fragmentFile)) {
    if (g_failuresFatal) {
        build(vertexFile, fragmentFile);
        return;
    }
    BuildFailure failure;
    BuildFailure* outer = g_softFailure;
    g_softFailure = &failure;
    bool built = build(vertexFile, fragmentFile);
    g_softFailure = outer;
    if (built) return;
    release();
    becomeStandIn();
    noteFault(this, {pair_, failure.reason, failure.log, true});
    std::string first = firstLine(failure.log);
    logLine("[dev] shader %s failed to build, drawing nothing until it builds: %s%s%s\n", pair_.c_str(),
            failure.reason.c_str(), first.empty() ? "" : ": ", first.c_str());
}

ShaderProgram::~ShaderProgram() {
    // The GL objects stay: a rebuild's fresh build hands them on, and the shared programs
    // live until the process ends.
    clearFault(this);
    g_unchecked.erase(std::remove(g_unchecked.begin(), g_unchecked.end(), this), g_unchecked.end());
}

bool ShaderProgram::rebuild(const char* vertexFile, const char* fragmentFile) {
    ShaderProgram fresh;
    BuildFailure failure;
    BuildFailure* outer = g_softFailure;
    g_softFailure = &failure;
    bool built = fresh.build(vertexFile, fragmentFile);
    g_softFailure = outer;
    std::string pair = pairOf(vertexFile, fragmentFile);
    if (!built) {
        fresh.release();
        noteFault(this, {pair, failure.reason, failure.log, standIn_});
        return false;
    }
    if (standIn_) logLine("[dev] shader %s built, drawing again\n", pair.c_str());
    release();
    vertexShader = fresh.vertexShader;
    fragmentShader = fresh.fragmentShader;
    program = fresh.program;
    vertexProgram = fresh.vertexProgram;
    fragmentProgram = fresh.fragmentProgram;
    kind = fresh.kind;
    activeUniforms_ = fresh.activeUniforms_;
    pair_ = pair;
    standIn_ = false;
    // The new build's uniforms are checked anew; what the owner set stays known.
    uniformsChecked_ = false;
    clearFault(this);
    return true;
}

void ShaderProgram::becomeStandIn() {
    standIn_ = true;
    // Every vertex outside the clip volume, every fragment discarded: nothing is drawn.
    const GLcharARB* kVertex = "void main() { gl_Position = vec4(2.0, 2.0, 2.0, 1.0); }\n";
    const GLcharARB* kFragment = "void main() { discard; }\n";
    GLhandleARB v = glCreateShaderObjectARB(GL_VERTEX_SHADER);
    GLhandleARB f = glCreateShaderObjectARB(GL_FRAGMENT_SHADER);
    glShaderSourceARB(v, 1, &kVertex, nullptr);
    glShaderSourceARB(f, 1, &kFragment, nullptr);
    glCompileShaderARB(v);
    glCompileShaderARB(f);
    GLhandleARB p = glCreateProgramObjectARB();
    glAttachObjectARB(p, v);
    glAttachObjectARB(p, f);
    glLinkProgramARB(p);
    CHECK_GL();
    GLint linked = 0;
    objectParameter(p, true, GL_LINK_STATUS, &linked);
    if (linked == 1) {
        vertexShader = v;
        fragmentShader = f;
        program = p;
        kind = GLSL;
        return;
    }
    // A driver that refuses even this: the fixed pipeline draws instead, plainly.
    glDeleteObjectARB(p);
    glDeleteObjectARB(v);
    glDeleteObjectARB(f);
    kind = None;
}

void ShaderProgram::release() {
    if (program) glDeleteObjectARB(program);
    if (vertexShader) glDeleteObjectARB(vertexShader);
    if (fragmentShader) glDeleteObjectARB(fragmentShader);
    if (vertexProgram) glDeleteProgramsARB(1, &vertexProgram);
    if (fragmentProgram) glDeleteProgramsARB(1, &fragmentProgram);
    vertexShader = fragmentShader = program = 0;
    vertexProgram = fragmentProgram = 0;
    kind = None;
    activeUniforms_.clear();
}

bool ShaderProgram::build(const char* vertexFile, const char* fragmentFile) {
    if (!vertexFile || !fragmentFile) {
        logLine("NULL shader program specified, using fixed pipeline\n");
        program = 0;
        return true;
    }

    const std::string pair = pairOf(vertexFile, fragmentFile);
    char* vertexText = readShaderFile(vertexFile);
    if (!vertexText) return buildFailed(pair, std::string("cannot read ") + vertexFile);
    char* fragmentText = readShaderFile(fragmentFile);
    if (!fragmentText) {
        free(vertexText);
        return buildFailed(pair, std::string("cannot read ") + fragmentFile);
    }
    // Frees both texts on every way out.
    struct Texts {
        char* a;
        char* b;
        ~Texts() {
            free(a);
            free(b);
        }
    } texts{vertexText, fragmentText};

    if (strncmp(vertexText, "!!ARB", 5) == 0) {
        if (strncmp(fragmentText, "!!ARB", 5) != 0) {
            logLine("Mismatch in vertex/fragment shader file formats!\n");
            return buildFailed(pair, "the vertex file is ARB assembly, the fragment file is not");
        }
        logLine("ARB assembly shader detected!\n");
        kind = ARB;
        REQUIRE_GL(glGenProgramsARB);
        REQUIRE_GL(glBindProgramARB);
        REQUIRE_GL(glProgramStringARB);
        REQUIRE_GL(glGetProgramivARB);
        if (!loadArbProgram(GL_VERTEX_PROGRAM_ARB, &vertexProgram, vertexText, "Vertex", pair)) return false;
        if (!loadArbProgram(GL_FRAGMENT_PROGRAM_ARB, &fragmentProgram, fragmentText, "Fragment", pair))
            return false;
    } else {
        logLine("  Compiling and linking GLSL: %s %s\n", vertexFile, fragmentFile);
        kind = GLSL;
        REQUIRE_GL(glCreateShaderObjectARB);
        REQUIRE_GL(glShaderSourceARB);
        REQUIRE_GL(glCompileShaderARB);
        REQUIRE_GL(glCreateProgramObjectARB);
        REQUIRE_GL(glAttachObjectARB);
        REQUIRE_GL(glLinkProgramARB);
        REQUIRE_GL(glValidateProgramARB);
        REQUIRE_GL(glUseProgramObjectARB);
        REQUIRE_GL(glGetObjectParameterivARB);
        REQUIRE_GL(glGetInfoLogARB);

        vertexShader = glCreateShaderObjectARB(GL_VERTEX_SHADER);
        CHECK_GL();
        fragmentShader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER);
        CHECK_GL();
        const GLcharARB* vertexSource = vertexText;
        glShaderSourceARB(vertexShader, 1, &vertexSource, nullptr);
        CHECK_GL();
        const GLcharARB* fragmentSource = fragmentText;
        glShaderSourceARB(fragmentShader, 1, &fragmentSource, nullptr);
        CHECK_GL();

        if (!compileShader(vertexShader, "--- Vertex shader compile failed, log:\n %s\n---\n", pair,
                           "vertex shader compile failed"))
            return false;
        if (!compileShader(fragmentShader, "--- Fragment shader compile failed, log:\n %s\n---\n", pair,
                           "fragment shader compile failed"))
            return false;

        program = glCreateProgramObjectARB();
        CHECK_GL();
        glAttachObjectARB(program, vertexShader);
        CHECK_GL();
        glAttachObjectARB(program, fragmentShader);
        CHECK_GL();
        glLinkProgramARB(program);
        CHECK_GL();

        GLint status = 0;
        objectParameter(program, true, GL_LINK_STATUS, &status);
        if (status != 1) {
            std::string log = shaderInfoLog(program, true);
            logLine("--- Shader linking failed, log:\n %s\n---\n", log.c_str());
            return buildFailed(pair, "link failed", log);
        }

        // Validated against the state at load time: every sampler on unit 0.
        glValidateProgramARB(program);
        CHECK_GL();
        objectParameter(program, true, GL_VALIDATE_STATUS, &status);
        if (status != 1) {
            std::string log = shaderInfoLog(program, true);
            logLine("--- Shader program validation failed, log:\n %s\n---\n", log.c_str());
            return buildFailed(pair, "validation failed", log);
        }
        collectActiveUniforms();
    }
    return true;
}

void ShaderProgram::collectActiveUniforms() {
    activeUniforms_.clear();
    if (!glGetActiveUniformARB) return;
    GLint count = 0;
    objectParameter(program, true, GL_OBJECT_ACTIVE_UNIFORMS_ARB, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniformARB(program, GLuint(i), sizeof name, &length, &size, &type, name);
        if (type != GL_FLOAT && type != GL_FLOAT_VEC2) continue;
        GLint location = uniformLocation(program, name);
        if (location != -1) activeUniforms_.push_back({name, location, type == GL_FLOAT_VEC2});
    }
    // Queries only; nothing may be left pending.
    CHECK_GL();
}

ShaderInputs& shaderInputs() {
    static ShaderInputs inputs;
    return inputs;
}

void ShaderProgram::applyShaderInputs() {
    const ShaderInputs& in = shaderInputs();
    if (!in.active) return;
    for (const ActiveUniform& u : activeUniforms_) {
        if (u.vec2) {
            if (u.name == "resolution") {
                if (glUniform2f) glUniform2f(u.location, in.width, in.height);
                else glUniform2fARB(u.location, in.width, in.height);
            }
            continue;
        }
        const float* value = nullptr;
        if (u.name == "beat") value = &in.beat;
        else if (u.name == "time") value = &in.seconds;
        else
            for (const auto& named : in.values)
                if (named.first == u.name) value = &named.second;
        if (!value) continue;
        if (glUniform1f) glUniform1f(u.location, *value); else glUniform1fARB(u.location, *value);
    }
    CHECK_GL();
}

void ShaderProgram::bind() {
    if (kind == GLSL) {
        glUseProgramObjectARB(program);
        CHECK_GL();
        if (!activeUniforms_.empty()) applyShaderInputs();
        if (!uniformsChecked_ && !standIn_ &&
            std::find(g_unchecked.begin(), g_unchecked.end(), this) == g_unchecked.end())
            g_unchecked.push_back(this);
    } else if (kind == ARB) {
        glUseProgramObjectARB(0);
        CHECK_GL();
        glEnable(GL_FRAGMENT_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, vertexProgram);
        CHECK_GL();
        glEnable(GL_VERTEX_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, fragmentProgram);
        CHECK_GL();
    } else {
        unbind();
    }
}

void ShaderProgram::unbind() {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    CHECK_GL();
    glDisable(GL_VERTEX_PROGRAM_ARB);
    CHECK_GL();
    glUseProgramObjectARB(0);
    CHECK_GL();
}

void ShaderProgram::noteOwnUniform(const char* name) {
    if (uniformsChecked_) return;
    for (const std::string& own : ownUniforms_)
        if (own == name) return;
    ownUniforms_.push_back(name);
}

void ShaderProgram::checkBoundUniforms() {
    const ShaderInputs& in = shaderInputs();
    // Without the engine's values nothing can be told apart: checked at a later frame.
    if (in.active)
        for (ShaderProgram* p : g_unchecked) p->checkUniforms();
    g_unchecked.clear();
}

void ShaderProgram::checkUniforms() {
    uniformsChecked_ = true;
    const ShaderInputs& in = shaderInputs();
    for (const ActiveUniform& u : activeUniforms_) {
        // Only floats can be modulators; built-in names, array elements and structure
        // members are never the engine's to set.
        if (u.vec2 || u.name == "beat" || u.name == "time") continue;
        if (u.name.compare(0, 3, "gl_") == 0 || u.name.find_first_of("[.") != std::string::npos) continue;
        if (std::find(ownUniforms_.begin(), ownUniforms_.end(), u.name) != ownUniforms_.end()) continue;
        bool modulator = false;
        for (const auto& named : in.values) modulator = modulator || named.first == u.name;
        if (modulator) continue;
        // uniformName made the blanks of a modulator's name underscores.
        std::string spaced = u.name;
        std::replace(spaced.begin(), spaced.end(), '_', ' ');
        logLine("Warning - uniform %s of %s: %s\n", u.name.c_str(), pair_.c_str(),
                noModulatorText(spaced, in.names).c_str());
    }
}

void ShaderProgram::setUniform1f(const char* name, float value) {
    if (standIn_) return;
    noteOwnUniform(name);
    GLint location = uniformLocation(program, name);
    if (location == -1) FATAL("Couldn't find uniform %s in %i", name, int(program));
    if (glUniform1f) glUniform1f(location, value); else glUniform1fARB(location, value);
}

void ShaderProgram::setUniform2f(const char* name, float x, float y) {
    if (standIn_) return;
    noteOwnUniform(name);
    GLint location = uniformLocation(program, name);
    if (location == -1) FATAL("Couldn't find uniform %s in %i", name, int(program));
    if (glUniform2f) glUniform2f(location, x, y); else glUniform2fARB(location, x, y);
}

void ShaderProgram::setUniform3fv(const char* name, const float* values) {
    if (standIn_) return;
    noteOwnUniform(name);
    GLint location = uniformLocation(program, name);
    if (location == -1) FATAL("Couldn't find uniform %s in %i", name, int(program));
    if (glUniform3fv) glUniform3fv(location, 1, values); else glUniform3fvARB(location, 1, values);
}
