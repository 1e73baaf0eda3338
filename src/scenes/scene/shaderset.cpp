#include "scenes/scene/shaderset.h"

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

ShaderSet::ShaderSet() {
    // Member order is table order; each program compiles and links here.
    ShaderProgram** members[kShaderCount] = {
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
    for (int i = 0; i < kShaderCount; ++i) {
        *members[i] = new ShaderProgram(kShaderFiles[i].vertex, kShaderFiles[i].fragment);
    }
}
