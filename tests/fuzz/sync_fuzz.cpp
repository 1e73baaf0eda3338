// Feeds arbitrary XML to the sync description's element parsing (no audio involved).
// The input is a description, optionally followed by a zero byte and a controller
// template: the template is parsed on its own and also saved as "t.xml" beside the
// description, so template file="t.xml" in the description reads it.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "util/music/midi.h"
#include "util/music/modulators/lfo.h"
#include "util/music/sync.h"

namespace {

// Tracks "Bass", "Pad", "Lead" and one without a name, each with one note.
MidiFile& fixtureTracks() {
    static std::unique_ptr<MidiFile> midi;
    if (!midi) {
        std::string image("MThd\0\0\0\6\0\1\0\4\0\x60", 14);
        for (const char* name : {"Bass", "Pad", "Lead", ""}) {
            std::string events;
            if (*name) events += std::string("\0\xFF\3", 3) + char(strlen(name)) + name;
            events += std::string("\0\x90\x3C\x40\x60\x80\x3C\0\0\xFF\x2F\0", 12);
            image += std::string("MTrk\0\0\0", 7) + char(events.size()) + events;
        }
        midi = std::make_unique<MidiFile>("fixture.mid", reinterpret_cast<const uint8_t*>(image.data()),
                                          image.size());
    }
    return *midi;
}

const std::string& scratchDir() {
    static std::string dir;
    if (dir.empty()) {
        std::string pattern = std::string(fuzzsupport::scratchRoot()) + "/festoonery-syncfuzz-XXXXXX";
        dir = mkdtemp(&pattern[0]) ? pattern + "/" : std::string("/tmp/");
    }
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    MidiFile& midi = fixtureTracks();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string description = input.substr(0, split);
    std::string templ = split == std::string::npos ? std::string() : input.substr(split + 1);

    FILE* file = fopen((scratchDir() + "t.xml").c_str(), "wb");
    if (file) {
        fwrite(templ.data(), 1, templ.size(), file);
        fclose(file);
    }

    try {
        TiXmlDocument document;
        document.Parse(description.c_str());
        if (TiXmlElement* root = document.FirstChildElement("modulators")) {
            for (TiXmlElement* m = root->FirstChildElement(); m; m = m->NextSiblingElement())
                parseModulatorElement(m, midi, 120.0f, scratchDir());
        }
    } catch (const fuzzsupport::Refused&) {
    }
    try {
        TiXmlDocument document;
        document.Parse(templ.c_str());
        LFO lfo(LFO::Sine, 1, 1, 4, false);
        parseTemplateDocument(document, lfo);
    } catch (const fuzzsupport::Refused&) {
    }
    for (MidiTrack& track : midi.tracks) track.modulators.clear();
    return 0;
}
