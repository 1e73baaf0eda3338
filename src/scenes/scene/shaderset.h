// The one shared collection of shader programs, all built at construction; scenes take
// the programs they use from it.
#pragma once

#include <string>
#include <utility>
#include <vector>

class ShaderProgram;

class ShaderSet {
public:
    // Builds the 22 programs in member order; any build failure is fatal.
    ShaderSet();

    // Development mode: every program built again from its files. Returns how many were
    // rebuilt; a program that fails keeps its previous build and its pair ("a.vert +
    // a.frag") is appended to failed.
    int rebuildAll(std::vector<std::string>* failed);

    // A scene's own program, from its own files (named as for ShaderProgram: a path such
    // as "data/hello/shaders/pulse.frag", or a bare name of the shared folder). Built at
    // once, fatal on failure as the set's programs are; owned by the set and rebuilt by
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
