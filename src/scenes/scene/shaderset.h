// The one shared collection of shader programs; scenes take the programs they use from
// it. Built whole at construction (the birthday greeting), or each shared program when a
// scene first asks for it (require), so that a production builds only what it draws.
#pragma once

#include <string>
#include <utility>
#include <vector>

class ShaderProgram;

class ShaderSet {
public:
    // buildAll: builds the 22 programs in member order; a build failure is fatal, or
    // makes that program a stand-in where failures are not (ShaderProgram's
    // constructor). Otherwise builds none: every member stays null until require() asks.
    explicit ShaderSet(bool buildAll = true);

    // The shared program `member` (&ShaderSet::billboard), built now if it was not yet
    // (a failure as at construction). The billboard brings the particle scenes'
    // point-sprite program with it (sprites.h), which shares its fragment shader.
    ShaderProgram* require(ShaderProgram* ShaderSet::*member);

    // Development mode: every program built so far built again from its files, stand-ins
    // of pairs that failed included. Returns how many were rebuilt; a program that fails
    // keeps its previous build (a stand-in stays one) and its pair ("a.vert + a.frag")
    // is appended to failed.
    int rebuildAll(std::vector<std::string>* failed);

    // A scene's own program, from its own files (named as for ShaderProgram: a path such
    // as "data/hello/shaders/pulse.frag", or a bare name of the shared folder). Built at
    // once, a failure as for the set's programs; owned by the set and rebuilt by
    // rebuildAll after the 22. The 22 members stay as they are.
    ShaderProgram* build(const char* vertexFile, const char* fragmentFile);
    // The file pairs of the scenes' own programs, in the order they were built.
    const std::vector<std::pair<std::string, std::string>>& sceneFiles() const { return sceneFiles_; }

    ShaderProgram* billboard;
    ShaderProgram* blocked;
    ShaderProgram* blur;
    ShaderProgram* deferredPass1;
    ShaderProgram* deferredPass2;
    ShaderProgram* gaussBlur;
    ShaderProgram* glitch;
    ShaderProgram* multiDiffuse;
    ShaderProgram* multiDiffuse2Sided;
    ShaderProgram* multiDiffuseBump;
    ShaderProgram* multiDiffuseBump2Sided;
    ShaderProgram* multiMaterialNotex;
    ShaderProgram* multiMaterialTex;
    ShaderProgram* multiSpecularBump;
    ShaderProgram* multiSpecularBumpExtratex;
    ShaderProgram* singleDiffuse;
    ShaderProgram* singleDiffuseBump;
    ShaderProgram* singleDiffuseNotex;
    ShaderProgram* singleMaterialNotex;
    ShaderProgram* singleSpecularBump;
    ShaderProgram* twister;
    ShaderProgram* fixedPipeline;  // no files: the fixed-function pipeline

private:
    // The addresses of the members above, in table order.
    std::vector<ShaderProgram**> members();
    std::vector<std::pair<std::string, std::string>> sceneFiles_;
    std::vector<ShaderProgram*> scenePrograms_;
};

// The file pair of each program, in member order (null names for the fixed pipeline).
struct ShaderFiles {
    const char* vertex;
    const char* fragment;
};
constexpr int kShaderCount = 22;
extern const ShaderFiles kShaderFiles[kShaderCount];
