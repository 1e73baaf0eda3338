#include "scenes/scene/shaderset.h"

#include "log.h"
#include "scenes/scene/sprites.h"
#include "util/shaderprogram/shaderprogram.h"

const ShaderFiles kShaderFiles[kShaderCount] = {
    {"billboard.vert", "billboard.frag"},
    {"simple.vert", "blocked.frag"},
    {"simple.vert", "blur.frag"},
    {"deferred_pass1.vert", "deferred_pass1.frag"},
    {"deferred_pass2.vert", "deferred_pass2.frag"},
    {"simple.vert", "gaussblur.frag"},
    {"simple.vert", "glitch.frag"},
    {"multi_diffuse.vert", "multi_diffuse.frag"},
    {"multi_diffuse.vert", "multi_diffuse_2sided.frag"},
    {"multi_diffuse_bump.vert", "multi_diffuse_bump.frag"},
    {"multi_diffuse_bump.vert", "multi_diffuse_bump_2sided.frag"},
    {"multi_material_notex.vert", "multi_material_notex.frag"},
    {"multi_material_tex.vert", "multi_material_tex.frag"},
    {"multi_specular_bump.vert", "multi_specular_bump.frag"},
    {"multi_specular_bump_extratex.vert", "multi_specular_bump_extratex.frag"},
    {"single_diffuse.vert", "single_diffuse.frag"},
    {"single_diffuse_bump.vert", "single_diffuse_bump.frag"},
    {"single_diffuse_notex.vert", "single_diffuse_notex.frag"},
    {"single_material_notex.vert", "single_material_notex.frag"},
    {"single_specular_bump.vert", "single_specular_bump.frag"},
    {"twister.vert", "multi_specular_bump.frag"},
    {nullptr, nullptr},
};

ShaderSet::ShaderSet(bool buildAll) {
    std::vector<ShaderProgram**> programs = members();
    for (int i = 0; i < kShaderCount; ++i) {
        *programs[i] = buildAll ? new ShaderProgram(kShaderFiles[i].vertex, kShaderFiles[i].fragment) : nullptr;
    }
    // The particle scenes' point sprites: built here with the others, not on their first
    // frame in the middle of the show.
    if (buildAll) spriteProgram();
}

ShaderProgram* ShaderSet::require(ShaderProgram* ShaderSet::*member) {
    std::vector<ShaderProgram**> programs = members();
    for (int i = 0; i < kShaderCount; ++i) {
        if (programs[i] != &(this->*member)) continue;
        if (!*programs[i]) *programs[i] = new ShaderProgram(kShaderFiles[i].vertex, kShaderFiles[i].fragment);
        if (member == &ShaderSet::billboard) spriteProgram();
        return *programs[i];
    }
    FATAL("ShaderSet::require: not a shared program of the set");
}

int ShaderSet::rebuildAll(std::vector<std::string>* failed) {
    int rebuilt = 0;
    std::vector<ShaderProgram**> programs = members();
    for (int i = 0; i < kShaderCount; ++i) {
        const ShaderFiles& files = kShaderFiles[i];
        if (!files.vertex || !*programs[i]) continue;  // the fixed pipeline has nothing to read
        if ((*programs[i])->rebuild(files.vertex, files.fragment)) {
            ++rebuilt;
        } else if (failed) {
            failed->push_back(std::string(files.vertex) + " + " + files.fragment);
        }
    }
    for (size_t i = 0; i < scenePrograms_.size(); ++i) {
        const auto& files = sceneFiles_[i];
        if (scenePrograms_[i]->rebuild(files.first.c_str(), files.second.c_str())) {
            ++rebuilt;
        } else if (failed) {
            failed->push_back(files.first + " + " + files.second);
        }
    }
    return rebuilt;
}

ShaderProgram* ShaderSet::build(const char* vertexFile, const char* fragmentFile) {
    ShaderProgram* program = new ShaderProgram(vertexFile, fragmentFile);
    if (vertexFile && fragmentFile) {
        sceneFiles_.emplace_back(vertexFile, fragmentFile);
        scenePrograms_.push_back(program);
    }
    return program;
}

std::vector<ShaderProgram**> ShaderSet::members() {
    // Member order is table order.
    return {
        &billboard,          &blocked,
        &blur,               &deferredPass1,
        &deferredPass2,      &gaussBlur,
        &glitch,             &multiDiffuse,
        &multiDiffuse2Sided, &multiDiffuseBump,
        &multiDiffuseBump2Sided, &multiMaterialNotex,
        &multiMaterialTex,   &multiSpecularBump,
        &multiSpecularBumpExtratex, &singleDiffuse,
        &singleDiffuseBump,  &singleDiffuseNotex,
        &singleMaterialNotex, &singleSpecularBump,
        &twister,            &fixedPipeline,
    };
}
