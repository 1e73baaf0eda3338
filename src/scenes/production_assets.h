// What a production's archive must hold of the engine's common tree: the data/common
// files its table, its scenes and its sync description name. Worked out without a
// window, so that the build can pack the archive.
#pragma once

#include <string>
#include <vector>

struct ProductionInfo;

// The data/common/... files the production opens, sorted, each once: the engine's own
// (the overlay font, the ASCII chart), each scene's (Scene::assets), the table's
// commonAssets, the shared shader programs it builds, and the sync description with the
// soundtrack, MIDI file and controller templates it names. The sync description is read
// through the data layer as it stands; one it cannot read ends the process (a box).
std::vector<std::string> productionCommonAssets(const ProductionInfo& production);

// Files named by the sync description at `path` (relative to its folder, as the reader
// takes them), the description itself first; a music file named directly is itself.
std::vector<std::string> syncDescriptionFiles(const char* path);
