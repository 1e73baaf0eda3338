// festoonery-tool sync: loads a sync description with the files it names, as the demo's
// music object does, and prints the modulators that end up on each MIDI track.
#include <tinyxml.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <climits>
#include <cstdlib>
#include <sstream>

#include "command.h"
#include "scenes/production_info.h"
#include "sync_plot.h"
#include "engine_log.h"
#include "platform/audio/bass.h"
#include "platform/audio/offline.h"
#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"
#include "util/music/music.h"
#include "util/music/sync.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool sync FILE [--plot OUT.png [--sections B,B,...] [--width PX]]\n"
    "\n"
    "Loads the sync description FILE (.xml) from disk exactly as the demo loads\n"
    "data/common/music/Festoonery.xml: the music stream (decoded, nothing is played and no\n"
    "sound device is needed), the MIDI file and every controller template it names,\n"
    "relative to FILE's folder. Then prints the stream's length, the MIDI tempo and\n"
    "signatures, and for each MIDI track its name and number of modulators, each\n"
    "modulator with its name, kind and values: an envelope's attack, decay and release in\n"
    "beats at the MIDI tempo with their slopes and its sustain level; an oscillator's wave,\n"
    "controller number, period in beats and its template's ranges; and the intensity.\n"
    "Modulator elements that create nothing are listed at the end.\n"
    "\n"
    "Anything the engine refuses gives its own message and exit status 1; the demo would\n"
    "stop with the same message. A music file that cannot be decoded is refused too (the\n"
    "demo would stop with \"Failed to start the music!\").\n"
    "\n"
    "With --plot, also draws OUT.png: every modulator's value (times its intensity, the\n"
    "way scenes and shaders receive it) from beat 0 to the end of the music, one row per\n"
    "modulator with its name, track and peak, the beat axis below and a line at every\n"
    "section start. The sections are those of this production's timeline when FILE is\n"
    "its description (data/common/music/Festoonery.xml), else none unless given.\n"
    "\n"
    "Options:\n"
    "  --plot OUT.png    draw the picture\n"
    "  --sections LIST   section starts in beats, such as 0,16 or intro=0,drop=16\n"
    "  --width PX        the picture's width in pixels (default 1280)\n"
    "  -h, --help        show this text\n";

bool endsWith(const std::string& text, const char* suffix) {
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

const char* slopeName(int slope) {
    switch (slope) {
        case ADSR::Linear: return "linear";
        case ADSR::Exp: return "exp";
        case ADSR::ExpInv: return "exp_inv";
    }
    return "unknown";
}

const char* waveName(int wave) {
    switch (wave) {
        case LFO::Sine: return "sine";
        case LFO::Saw: return "saw";
    }
    return "unknown";
}

const char* attributeOr(const TiXmlElement* element, const char* name, const char* fallback) {
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : fallback;
}

// What the loader did with the modulator elements, walked again in document order with
// its rules: the first track of that name gets what an lfo or envelope child creates.
struct Declarations {
    std::vector<std::vector<std::string>> names;  // per track, in the order appended
    std::vector<std::string> ignored;              // elements that created nothing
};

Declarations walkDeclarations(const TiXmlElement* modulators, const MidiFile& midi) {
    Declarations found;
    found.names.resize(midi.tracks.size());
    for (const TiXmlElement* m = modulators->FirstChildElement(); m; m = m->NextSiblingElement()) {
        const char* name = attributeOr(m, "name", "");
        const char* association = attributeOr(m, "association", "");
        if (!m->FirstChildElement("lfo") && !m->FirstChildElement("envelope")) {
            found.ignored.push_back(std::string("'") + name + "' for track '" + association +
                                    "' (<" + m->Value() + ">): neither lfo nor envelope");
            continue;
        }
        for (size_t i = 0; i < midi.tracks.size(); ++i) {
            const char* trackName = midi.tracks[i].name;
            if (trackName && strcmp(trackName, association) == 0) {
                found.names[i].push_back(name);
                break;
            }
        }
    }
    return found;
}

void printModulator(FILE* to, const Modulator& modulator, const std::string& name) {
    if (modulator.kind == Modulator::Envelope) {
        const ADSR& e = static_cast<const ADSR&>(modulator);
        fprintf(to,
                "  '%s': envelope, attack %.3f beats %s, decay %.3f beats %s, sustain %.3f, "
                "release %.3f beats %s, intensity %.3f\n",
                name.c_str(), double(e.attack), slopeName(e.attackSlope), double(e.decay),
                slopeName(e.decaySlope), double(e.sustain), double(e.release),
                slopeName(e.releaseSlope), double(e.intensity));
        return;
    }
    const LFO& o = static_cast<const LFO&>(modulator);
    fprintf(to, "  '%s': lfo, wave %s, cc %i, period %.3f beats, intensity %.3f, %zu ranges\n",
            name.c_str(), waveName(o.wave), o.cc, double(o.period), double(o.intensity),
            o.rangePeriod.size());
    for (size_t i = 0; i < o.rangePeriod.size(); ++i) {
        fprintf(to, "    range %u..%u: period %.3f beats\n", unsigned(o.rangeMin[i]),
                unsigned(o.rangeMax[i]), double(o.rangePeriod[i]));
    }
}

bool samePath(const std::string& a, const char* b) {
    char ra[PATH_MAX], rb[PATH_MAX];
    return realpath(a.c_str(), ra) && realpath(b, rb) && strcmp(ra, rb) == 0;
}

// "0,16" or "intro=0,drop=16"; false for anything else.
bool parseSections(const std::string& text, std::vector<tool::PlotSection>* sections) {
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        std::string name;
        size_t equals = item.find('=');
        if (equals != std::string::npos) {
            name = item.substr(0, equals);
            item = item.substr(equals + 1);
        }
        char* end = nullptr;
        float beat = strtof(item.c_str(), &end);
        if (item.empty() || *end || !(beat >= 0.0f)) return false;
        sections->push_back({name, beat});
    }
    return !sections->empty();
}

// The reason the audio layer logged for a stream it could not make.
std::string streamReason(const std::vector<std::string>& lines) {
    std::string reason = "no reason given";
    for (const std::string& line : lines)
        if (line.rfind("Audio stream: ", 0) == 0) reason = line.substr(14);
    return reason;
}

int runSync(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv,
                                          {{"--plot", "the picture's path"},
                                           {"--sections", "section starts in beats"},
                                           {"--width", "the picture's width"}},
                                          &args))
        return status;
    std::string plotPath = args.values.count("--plot") ? args.values["--plot"] : "";
    std::vector<tool::PlotSection> sections;
    bool sectionsGiven = args.values.count("--sections") > 0;
    if (sectionsGiven && !parseSections(args.values["--sections"], &sections))
        return tool::usageError("--sections takes beats such as 0,16 or intro=0,drop=16, not '%s'",
                                args.values["--sections"].c_str());
    int width = 1280;
    if (args.values.count("--width")) {
        const std::string& w = args.values["--width"];
        char* end = nullptr;
        long n = strtol(w.c_str(), &end, 10);
        if (w.empty() || *end || n < 64 || n > 16384) return tool::usageError("--width takes 64 to 16384 pixels, not '%s'", w.c_str());
        width = int(n);
    }
    if (plotPath.empty() && (sectionsGiven || args.values.count("--width")))
        return tool::usageError("--sections and --width go with --plot");
    if (args.positionals.empty()) return tool::usageError("which sync description?");
    if (args.positionals.size() > 1)
        return tool::usageError("one sync description at a time; '%s' is one too many",
                                args.positionals[1].c_str());
    std::string path = args.positionals[0];
    // The music object would play a music file named directly; here that is a mistake.
    if (endsWith(path, ".ogg") || endsWith(path, ".mp3"))
        return tool::usageError("%s is a music file; give the sync description (.xml)", path.c_str());

    audio::useOfflineClock(true);  // decoding needs no sound device
    tool::EngineLog log;
    log.begin();
    Music music(path.c_str());  // anything refused ends the tool here
    std::vector<std::string> lines = log.end();
    std::unique_ptr<MidiFile> midi(music.midi);  // the demo keeps it; the tool is done with it
    music.midi = nullptr;

    TiXmlDocument document;
    loadSyncDocument(document, path.c_str());  // the engine loaded it a moment ago
    const TiXmlElement* modulators = document.FirstChildElement("modulators");
    std::string prefix = syncDirectory(path.c_str());
    std::string streamPath = prefix + attributeOr(modulators, "stream_filename", "");
    std::string midiPath = prefix + attributeOr(modulators, "mididata_filename", "");

    if (music.stream == 0) {
        return tool::fail("%s cannot be played: %s; the demo would stop with \"Failed to start "
                          "the music!\"",
                          streamPath.c_str(), streamReason(lines).c_str());
    }
    if (!midi || !modulators) return tool::fail("%s loaded no MIDI file", path.c_str());

    FILE* to = tool::out();
    fprintf(to, "sync description %s\n", path.c_str());
    fprintf(to, "stream %s: %llu bytes, %.2f seconds\n", streamPath.c_str(),
            static_cast<unsigned long long>(music.lengthBytes),
            BASS_ChannelBytes2Seconds(music.stream, music.lengthBytes));
    fprintf(to, "MIDI file %s: %.2f bpm, %i/%i, key %i %s, %zu tracks\n", midiPath.c_str(),
            double(midi->bpm), midi->timeSigNumerator, midi->timeSigDenominator,
            midi->keySignature, midi->minorKey ? "minor" : "major", midi->tracks.size());

    Declarations declared = walkDeclarations(modulators, *midi);
    for (size_t i = 0; i < midi->tracks.size(); ++i) {
        const MidiTrack& track = midi->tracks[i];
        fprintf(to, "track '%s' has %zu modulators\n", track.name ? track.name : "",
                track.modulators.size());
        const std::vector<std::string>& names = declared.names[i];
        for (size_t k = 0; k < track.modulators.size(); ++k)
            printModulator(to, *track.modulators[k], k < names.size() ? names[k] : std::string());
    }
    for (const std::string& ignored : declared.ignored) fprintf(to, "ignored modulator %s\n", ignored.c_str());

    if (!plotPath.empty()) {
        const ProductionInfo& production = thisProduction();
        if (!sectionsGiven && production.syncPath && samePath(path, production.syncPath))
            for (const SectionEntry& s : production.sections) sections.push_back({s.name, s.startBeat});
        float endBeat = music.endBeat();
        std::string error;
        if (!tool::writeSyncPlot(plotPath.c_str(), *midi, endBeat, sections, width, &error))
            return tool::fail("%s", error.c_str());
        fprintf(to, "plot %s: beats 0 to %.2f, %zu sections\n", plotPath.c_str(), double(endBeat), sections.size());
    }
    return tool::kOk;
}

const tool::Registrar registrar({"sync", "print the modulators a sync description puts on each track",
                                 kUsageText, runSync});

}  // namespace
