#include "scenes/production_assets.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "scenes/production_info.h"
#include "scenes/scene/scene.h"
#include "scenes/scene/shaderset.h"
#include "util/ascii/asciiengine.h"
#include "util/music/sync.h"

namespace {

constexpr const char* kCommonPrefix = "data/common/";
constexpr const char* kSharedShaderFolder = "data/common/shaders/";

// The scene manager's overlay font and the ASCII engine's chart: opened by every run.
const char* const kEngineAssets[] = {"data/common/fonts/courier_new.ttf", AsciiEngine::kChartPath};

// A shader file by its bare name lies in the shared folder, as ShaderProgram finds it.
std::string assetPath(const std::string& name) {
    bool bareShader = name.find('/') == std::string::npos &&
                      (name.size() > 5 && (name.compare(name.size() - 5, 5, ".vert") == 0 ||
                                           name.compare(name.size() - 5, 5, ".frag") == 0));
    return bareShader ? kSharedShaderFolder + name : name;
}

bool endsWith(const char* text, const char* suffix) {
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && strcmp(text + n - m, suffix) == 0;
}

// Every <template file="..."> below element, depth first.
void collectTemplates(const TiXmlElement* element, const std::string& prefix, std::vector<std::string>* files) {
    for (const TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (strcmp(child->Value(), "template") == 0 && child->Attribute("file"))
            files->push_back(prefix + child->Attribute("file"));
        collectTemplates(child, prefix, files);
    }
}

}  // namespace

std::vector<std::string> syncDescriptionFiles(const char* path) {
    std::vector<std::string> files{path};
    if (!endsWith(path, ".xml")) return files;
    TiXmlDocument document;
    loadSyncDocument(document, path);
    const TiXmlElement* root = document.FirstChildElement("modulators");
    if (!root) return files;
    const std::string prefix = syncDirectory(path);
    for (const char* attribute : {"stream_filename", "mididata_filename"})
        if (root->Attribute(attribute)) files.push_back(prefix + root->Attribute(attribute));
    collectTemplates(root, prefix, &files);
    return files;
}

std::vector<std::string> productionCommonAssets(const ProductionInfo& production) {
    std::vector<std::string> files(std::begin(kEngineAssets), std::end(kEngineAssets));
    for (const TimelineEntry& entry : production.timeline) {
        std::unique_ptr<Scene> scene(entry.create());
        for (const std::string& name : scene->assets()) files.push_back(assetPath(name));
    }
    for (const char* name : production.commonAssets) files.push_back(assetPath(name));
    if (production.buildAllShaders) {
        for (const ShaderFiles& program : kShaderFiles) {
            if (program.vertex) files.push_back(assetPath(program.vertex));
            if (program.fragment) files.push_back(assetPath(program.fragment));
        }
        files.push_back(assetPath("sprite.vert"));
    }
    for (const std::string& name : syncDescriptionFiles(production.syncPath)) files.push_back(name);

    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const std::string& f) { return f.rfind(kCommonPrefix, 0) != 0; }),
                files.end());
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}
