// A production's structure, in one table: its name as a program, its scenes with their
// windows on the timeline, its sections, its sync description and its title. The scene manager builds the
// scenes from it; development mode's section keys and overlay, the capture and the
// benchmark read the same table.
#pragma once

#include <functional>
#include <vector>

class Scene;

// One scene of the timeline: both ends of its window inclusive, in beats.
// `create` makes the scene with the production's parameters: createScene<T>, or a
// function such as [] { return new Starfield(params); }.
struct TimelineEntry {
    const char* name;  // logged when the scene is built
    std::function<Scene*()> create;
    float startBeat;
    float endBeat;
};

// One section of the production, from its start to the next section's start (the last
// one to the end of the music). Development mode's keys 1 to 9 seek to the starts.
struct SectionEntry {
    const char* name;    // short: "text"
    float startBeat;
    const char* scenes;  // what shows in it, for reports: "picture+text+waveform"
};

struct ProductionInfo {
    // The program's name ("hello"): --help, --version, the capture's usage, and the
    // installed data folder share/PROGRAM/ that holds its data.mvt. Its build target's name.
    const char* program;
    const char* description;  // one line for --help: "A pulse of light on a kick drum"
    const char* title;        // the window caption and the setup dialog's title
    const char* syncPath;     // the sync description (or a music file named directly)
    std::vector<TimelineEntry> timeline;  // in drawing order
    std::vector<SectionEntry> sections;   // by start, the first at beat 0
    // Its scenes draw the greeting words (greetingWord()), which the capture's --words
    // replaces; without, the capture has no --words.
    bool hasWords = false;
    // Start-up builds all 22 shared shader programs, used or not (the birthday greeting's
    // log lists them); otherwise a shared program is built when a scene first asks for it.
    bool buildAllShaders = false;
    // Files of data/common the production's own code opens (its scenes' and the engine's
    // are known): packed into its archive with them.
    std::vector<const char*> commonAssets = {};
};

// The production this program is built with: each production defines it once (the
// engine's entry, src/main/main.cpp, and the offline tools ask for it).
const ProductionInfo& thisProduction();

// The index of the section holding the beat: the last one starting at or before it
// (0 before the first start, and for a production without sections).
int sectionIndexAt(const ProductionInfo& production, float beat);

template <class T>
Scene* createScene() {
    return new T();
}
