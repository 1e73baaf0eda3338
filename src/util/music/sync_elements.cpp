#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "log.h"
#include "util/data/data.h"
#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"
#include "util/music/music.h"
#include "util/music/sync.h"

namespace {

// The element's text; an element without one ends the process naming it.
const char* requireText(const TiXmlElement* element, const char* what) {
    const char* text = element->GetText();
    if (!text) FATAL("%s->GetText() is NULL", what);
    return text;
}

const char* requireAttribute(const TiXmlElement* element, const char* attribute, const char* what) {
    const char* value = element->Attribute(attribute);
    if (!value) FATAL("%s->Attribute( \"%s\" ) is NULL", what, attribute);
    return value;
}

// "%f"; text that does not start with a number leaves fallback.
float parseFloat(const char* text, float fallback) {
    float value = fallback;
    sscanf(text, "%f", &value);
    return value;
}

// "%i" (0x hexadecimal, leading 0 octal); text that does not start with a number
// leaves fallback.
int parseInt(const char* text, int fallback) {
    int value = fallback;
    sscanf(text, "%i", &value);
    return value;
}

struct NoteLength {
    int numerator;
    int denominator;
    bool triplet;
};

// A note length from its numerator and denominator elements. The denominator may carry
// a suffix word (at most 3 characters) of which only the first counts: t or T is a
// triplet. Texts that do not start with a number leave -1.
NoteLength parseNoteLength(const TiXmlElement* numerator, const char* numeratorWhat,
                           const TiXmlElement* denominator, const char* denominatorWhat) {
    NoteLength length{parseInt(requireText(numerator, numeratorWhat), -1), -1, false};
    char suffix[4] = " ";
    sscanf(requireText(denominator, denominatorWhat), "%i%3s", &length.denominator, suffix);
    length.triplet = suffix[0] == 't' || suffix[0] == 'T';
    return length;
}

int slopeCode(const char* slope) {
    if (strcmp(slope, "linear") == 0) return ADSR::Linear;
    if (strcmp(slope, "exp") == 0) return ADSR::Exp;
    if (strcmp(slope, "exp_inv") == 0) return ADSR::ExpInv;
    FATAL("Unrecognized slope type: %s", slope);
}

struct EnvelopeTime {
    float beats;
    int slope;
};

// An attack, decay or release element: seconds (unit "s") converted to beats, and a slope.
EnvelopeTime parseEnvelopeTime(const TiXmlElement* element, const char* what, float bpm) {
    float seconds = parseFloat(requireText(element, what), 1.0f);
    const char* unit = requireAttribute(element, "unit", what);
    if (strcmp(unit, "s") != 0) FATAL("Unrecognized unit type: %s", unit);
    float beats = seconds * 0.016666668f * bpm;
    int slope = slopeCode(requireAttribute(element, "slope", what));
    return {beats, slope};
}

Modulator* parseLfo(const TiXmlElement* lfoElement, MidiTrack& track, const std::string& prefix) {
    const TiXmlElement* waveElement = lfoElement->FirstChildElement("wave");
    if (!waveElement) FATAL("lfo_element->FirstChildElement( \"wave\" ) is NULL");
    const char* waveText = requireText(waveElement, "lfo_element->FirstChildElement( \"wave\" )");
    int wave;
    if (strcmp(waveText, "sine") == 0) {
        wave = LFO::Sine;
    } else if (strcmp(waveText, "saw") == 0) {
        wave = LFO::Saw;
    } else {
        FATAL("Unrecognized LFO wave type: %s", waveText);
    }

    const TiXmlElement* tempo = lfoElement->FirstChildElement("tempo");
    if (!tempo) FATAL("tempo_element is NULL");
    const TiXmlElement* numerator = tempo->FirstChildElement("numerator");
    if (!numerator) FATAL("tempo_element->FirstChildElement( \"numerator\" ) is NULL");
    const TiXmlElement* denominator = tempo->FirstChildElement("denominator");
    if (!denominator) FATAL("tempo_element->FirstChildElement( \"denominator\" ) is NULL");
    NoteLength length = parseNoteLength(numerator, "tempo_element->FirstChildElement( \"numerator\" )",
                                        denominator, "tempo_element->FirstChildElement( \"denominator\" )");

    const TiXmlElement* controller = tempo->FirstChildElement("controller");
    if (!controller) FATAL("tempo_element->FirstChildElement( \"controller\" ) is NULL");
    const TiXmlElement* ccElement = controller->FirstChildElement("cc");
    if (!ccElement)
        FATAL("tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"cc\" ) is NULL");
    int cc = parseInt(
        requireText(ccElement, "tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"cc\" )"),
        -1);

    track.modulators.push_back(std::make_unique<LFO>(wave, cc, length.numerator, length.denominator, length.triplet));
    Modulator* lfo = track.modulators.back().get();

    const TiXmlElement* templateElement = controller->FirstChildElement("template");
    if (!templateElement) {
        FATAL("tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"template\" ) "
              "is NULL");
    }
    const char* file = requireAttribute(
        templateElement, "file",
        "tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"template\" )");
    loadTemplate((prefix + file).c_str(), lfo);
    return lfo;
}

Modulator* parseEnvelope(const TiXmlElement* envElement, MidiTrack& track, float bpm) {
    const TiXmlElement* attack = envElement->FirstChildElement("attack");
    if (!attack) FATAL("env_element->FirstChildElement( \"attack\" ) is NULL");
    const TiXmlElement* decay = envElement->FirstChildElement("decay");
    if (!decay) FATAL("env_element->FirstChildElement( \"decay\" ) is NULL");
    const TiXmlElement* sustain = envElement->FirstChildElement("sustain");
    if (!sustain) FATAL("env_element->FirstChildElement( \"sustain\" ) is NULL");
    const TiXmlElement* release = envElement->FirstChildElement("release");
    if (!release) FATAL("env_element->FirstChildElement( \"release\" ) is NULL");

    EnvelopeTime a = parseEnvelopeTime(attack, "env_element->FirstChildElement( \"attack\" )", bpm);
    EnvelopeTime d = parseEnvelopeTime(decay, "env_element->FirstChildElement( \"decay\" )", bpm);
    const char* sustainWhat = "env_element->FirstChildElement( \"sustain\" )";
    float percent = parseFloat(requireText(sustain, sustainWhat), 1.0f);
    const char* unit = requireAttribute(sustain, "unit", sustainWhat);
    if (strcmp(unit, "percent") != 0) FATAL("Unrecognized unit type: %s", unit);
    float level = percent * 0.01f;
    EnvelopeTime r = parseEnvelopeTime(release, "env_element->FirstChildElement( \"release\" )", bpm);

    track.modulators.push_back(
        std::make_unique<ADSR>(a.beats, a.slope, d.beats, d.slope, level, r.beats, r.slope));
    return track.modulators.back().get();
}

}  // namespace

std::string syncDirectory(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? std::string(path, size_t(slash - path) + 1) : std::string();
}

void loadSyncDocument(TiXmlDocument& document, const char* path) {
    FILE* file = dataOpen(path, "rb");
    if (!file) FATAL("Could not load %s. Error='%s'. Exiting.\n", path, "Failed to open file");
    // Read to the end rather than trusting the stream's size: a directory opens, but its
    // size is meaningless and reading it fails.
    std::string text;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) FATAL("Could not load %s. Error='%s'. Exiting.\n", path, "Failed to read file");
    // Line ends as the parser's own file loading normalises them.
    std::string normalised;
    normalised.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            normalised += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            normalised += text[i];
        }
    }
    document.Parse(normalised.c_str());
    if (document.Error())
        FATAL("Could not load %s. Error='%s'. Exiting.\n", path, document.ErrorDesc());
}

void parseModulatorElement(TiXmlElement* element, MidiFile& midi, float bpm,
                           const std::string& prefix) {
    const char* association = requireAttribute(element, "association", "modulator_element");
    const char* name = element->Attribute("name");
    logLine("  found modulator '%s' for track '%s'\n", name ? name : "", association);

    // An lfo child wins over an envelope child. The track is looked up only for an element
    // that creates a modulator: one of neither kind adds nothing, whatever it names.
    const TiXmlElement* lfo = element->FirstChildElement("lfo");
    const TiXmlElement* envelope = lfo ? nullptr : element->FirstChildElement("envelope");
    Modulator* created = nullptr;
    if (lfo || envelope) {
        MidiTrack* track = nullptr;
        for (MidiTrack& t : midi.tracks) {
            if (t.name && strcmp(t.name, association) == 0) {
                track = &t;
                break;
            }
        }
        if (!track) FATAL("No MIDI track named '%s' for modulator '%s'", association, name ? name : "");
        created = lfo ? parseLfo(lfo, *track, prefix) : parseEnvelope(envelope, *track, bpm);
        if (name) created->name = name;
    } else {
        logLine("..ouch, unrecognized modulator type\n");
    }

    if (const TiXmlElement* intensity = element->FirstChildElement("intensity")) {
        const char* what = "modulator_element->FirstChildElement( \"intensity\" )";
        const char* unit = requireAttribute(intensity, "unit", what);
        if (strcmp(unit, "float") != 0) FATAL("Unexpected intensity unit: %s", unit);
        float value = parseFloat(requireText(intensity, what), 0.0f);
        if (created) created->intensity = value;
    }
}

void parseTemplateDocument(TiXmlDocument& document, Modulator& modulator) {
    TiXmlElement* element = document.FirstChildElement("unit");
    if (!element) FATAL("element is NULL");
    TiXmlElement* templ = element->FirstChildElement("template");
    if (!templ) FATAL("element->FirstChildElement( \"template\" ) is NULL");
    TiXmlElement* range = templ->FirstChildElement("range");
    if (!range) FATAL("element->FirstChildElement( \"template\" )->FirstChildElement( \"range\" ) is NULL");

    for (; range; range = range->NextSiblingElement("range")) {
        const TiXmlElement* minElement = range->FirstChildElement("min");
        if (!minElement) FATAL("cur_el->FirstChildElement( \"min\" ) is NULL");
        const TiXmlElement* maxElement = range->FirstChildElement("max");
        if (!maxElement) FATAL("cur_el->FirstChildElement( \"max\" ) is NULL");
        const TiXmlElement* value = range->FirstChildElement("value");
        if (!value) FATAL("cur_el->FirstChildElement( \"value\" ) is NULL");
        const TiXmlElement* numerator = value->FirstChildElement("numerator");
        if (!numerator)
            FATAL("cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"numerator\" ) is NULL");
        const TiXmlElement* denominator = value->FirstChildElement("denominator");
        if (!denominator)
            FATAL("cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"denominator\" ) is NULL");

        // A range bound that is not a number would make the range meaningless.
        const char* minText = requireText(minElement, "cur_el->FirstChildElement( \"min\" )");
        const char* maxText = requireText(maxElement, "cur_el->FirstChildElement( \"max\" )");
        int low, high;
        if (sscanf(minText, "%i", &low) != 1) FATAL("Range min is not a number: %s", minText);
        if (sscanf(maxText, "%i", &high) != 1) FATAL("Range max is not a number: %s", maxText);
        NoteLength length = parseNoteLength(
            numerator, "cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"numerator\" )",
            denominator, "cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"denominator\" )");
        float period = noteLengthBeats(length.numerator, length.denominator, length.triplet);
        modulator.rangeMin.push_back(uint8_t(low));
        modulator.rangeMax.push_back(uint8_t(high));
        modulator.rangePeriod.push_back(period);
    }
}

void loadTemplate(const char* path, Modulator* modulator) {
    logLine("  ..loading %s\n", path);
    TiXmlDocument document;
    loadSyncDocument(document, path);
    logLine("    ..parsing\n");
    parseTemplateDocument(document, *modulator);
}

bool syncDocumentParses(const char* path) {
    FILE* file = dataOpen(path, "rb");
    if (!file) {
        logLine("Sync description %s cannot be opened\n", path);
        return false;
    }
    // A description is a few kilobytes; anything past this is not one.
    constexpr size_t kMaxBytes = 16u << 20;
    std::string text;
    char block[4096];
    size_t got;
    while (text.size() <= kMaxBytes && (got = fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    bool failed = ferror(file) != 0 || text.size() > kMaxBytes;
    fclose(file);
    if (failed) {
        logLine("Sync description %s cannot be read\n", path);
        return false;
    }
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error()) {
        logLine("Sync description %s does not parse: %s (row %i)\n", path, document.ErrorDesc(),
                document.ErrorRow());
        return false;
    }
    return true;
}
