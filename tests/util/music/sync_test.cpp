#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/offline.h"
#include "platform/audio/sine_fixture.h"
#include "support/paths.h"
#include "util/music/midi.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"
#include "util/music/music.h"
#include "util/music/sync.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A MIDI file image with one note track per name ("" for a track without a name).
Bytes midiWithTracks(const std::vector<std::string>& names) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, uint8_t(names.size()), 0, 96};
    for (const std::string& name : names) {
        Bytes events;
        if (!name.empty()) {
            events = {0x00, 0xFF, 0x03, uint8_t(name.size())};
            for (char c : name) events.push_back(uint8_t(c));
        }
        for (uint8_t b : Bytes{0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00})
            events.push_back(b);
        for (uint8_t b : Bytes{'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(events.size())}) out.push_back(b);
        out.insert(out.end(), events.begin(), events.end());
    }
    return out;
}

std::unique_ptr<MidiFile> tracks(const std::vector<std::string>& names) {
    Bytes image = midiWithTracks(names);
    testing::internal::CaptureStdout();
    auto midi = std::make_unique<MidiFile>("tracks", image.data(), image.size());
    testing::internal::GetCapturedStdout();
    return midi;
}

const char* kWobble =
    "<unit><template>"
    "<range><min>0</min><max>63</max><value><numerator>1</numerator><denominator>4</denominator></value></range>"
    "<range><min>64</min><max>127</max><value><numerator>1</numerator><denominator>16</denominator></value></range>"
    "</template></unit>";

// A scratch folder holding the controller template wobble.xml; returns it with a '/'.
std::string templateDir() {
    std::string dir = testpaths::freshScratchDir("sync_test") + "/";
    testpaths::writeFile(dir + "wobble.xml", kWobble);
    return dir;
}

// Parses each child of the description's <modulators> into midi; returns the log.
std::string parseModulators(const std::string& xml, MidiFile& midi, float bpm,
                            const std::string& prefix) {
    TiXmlDocument document;
    document.Parse(xml.c_str());
    TiXmlElement* root = document.FirstChildElement("modulators");
    EXPECT_NE(nullptr, root) << xml;
    testing::internal::CaptureStdout();
    if (root) {
        for (TiXmlElement* m = root->FirstChildElement(); m; m = m->NextSiblingElement())
            parseModulatorElement(m, midi, bpm, prefix);
    }
    return testing::internal::GetCapturedStdout();
}

std::string envelope(const std::string& attack, const std::string& sustain = "60",
                     const std::string& attackUnit = "s", const std::string& sustainUnit = "percent",
                     const std::string& slope = "linear") {
    return "<envelope><attack unit=\"" + attackUnit + "\" slope=\"" + slope + "\">" + attack +
           "</attack><decay unit=\"s\" slope=\"exp\">0.2</decay><sustain unit=\"" + sustainUnit +
           "\">" + sustain + "</sustain><release unit=\"s\" slope=\"exp_inv\">0.5</release></envelope>";
}

std::string lfo(const std::string& denominator, const std::string& wave = "sine",
                const std::string& cc = "1", const std::string& file = "wobble.xml") {
    return "<lfo><wave>" + wave + "</wave><tempo><numerator>1</numerator><denominator>" +
           denominator + "</denominator><controller><cc>" + cc + "</cc><template file=\"" + file +
           "\"/></controller></tempo></lfo>";
}

std::string modulator(const std::string& association, const std::string& content,
                      const std::string& name = "m") {
    return "<modulator association=\"" + association + "\" name=\"" + name + "\">" + content +
           "</modulator>";
}

std::string description(const std::string& modulators) {
    return "<modulators stream_filename=\"song.ogg\" mididata_filename=\"song.mid\">" + modulators +
           "</modulators>";
}

TEST(SyncDescription, ExampleAt120Bpm) {
    std::string dir = templateDir();
    auto midi = tracks({"Bass", "Pad"});
    std::string log = parseModulators(
        description(modulator("Bass", envelope("0.05") + "<intensity unit=\"float\">0.8</intensity>",
                              "kick glow") +
                    modulator("Pad", lfo("8t"), "pad wobble")),
        *midi, 120.0f, dir);

    ASSERT_EQ(1u, midi->tracks[0].modulators.size());
    const auto* env = dynamic_cast<const ADSR*>(midi->tracks[0].modulators[0].get());
    ASSERT_NE(nullptr, env);
    struct Field {
        const char* name;
        float expected, actual;
    } fields[] = {{"attack", 0.1f, env->attack},       {"decay", 0.4f, env->decay},
                  {"sustain", 0.6f, env->sustain},     {"release", 1.0f, env->release},
                  {"intensity", 0.8f, env->intensity}};
    for (const Field& f : fields) EXPECT_NEAR(f.expected, f.actual, 1e-6f) << f.name;
    EXPECT_EQ(ADSR::Linear, env->attackSlope);
    EXPECT_EQ(ADSR::Exp, env->decaySlope);
    EXPECT_EQ(ADSR::ExpInv, env->releaseSlope);
    EXPECT_EQ(-1, env->cc);

    ASSERT_EQ(1u, midi->tracks[1].modulators.size());
    const auto* osc = dynamic_cast<const LFO*>(midi->tracks[1].modulators[0].get());
    ASSERT_NE(nullptr, osc);
    EXPECT_FLOAT_EQ(0.5f * 0.6666667f, osc->period);
    EXPECT_EQ(LFO::Sine, osc->wave);
    EXPECT_EQ(1, osc->cc);
    EXPECT_EQ(1.0f, osc->intensity);
    EXPECT_EQ(std::vector<uint8_t>({0, 64}), osc->rangeMin);
    EXPECT_EQ(std::vector<uint8_t>({63, 127}), osc->rangeMax);
    EXPECT_EQ(std::vector<float>({1.0f, 0.25f}), osc->rangePeriod);

    const char* lines[] = {
        "  found modulator 'kick glow' for track 'Bass'\n",
        "  ..added ADSR envelope [0.10 (0)] [0.40 (1)] [0.60] [1.00 (2)]\n",
        "  found modulator 'pad wobble' for track 'Pad'\n",
        "  ..added new LFO: wave 0, cc 1, period 0.333\n",
        "    ..parsing\n",
    };
    for (const char* line : lines) EXPECT_NE(std::string::npos, log.find(line)) << line << log;
    EXPECT_NE(std::string::npos, log.find("  ..loading " + dir + "wobble.xml\n")) << log;
}

TEST(SyncDescription, DenominatorsAndTheirSuffixes) {
    std::string dir = templateDir();
    struct Case {
        const char* text;
        float period;
    } cases[] = {
        {"8", 0.5f},           {"8t", 0.33333334f},  {"8 T", 0.33333334f}, {"8T", 0.33333334f},
        {"8 triplet", 0.33333334f}, {"8x", 0.5f},   {"8 ", 0.5f},         {"4", 1.0f},
        {"16t", 0.25f * 0.6666667f}, {"0x10", 0.25f}, {"010", 0.5f},      {"08", 0.0f},
        {"0", 0.0f},           {"eight", -4.0f},
    };
    for (const Case& c : cases) {
        auto midi = tracks({"Pad"});
        parseModulators(description(modulator("Pad", lfo(c.text))), *midi, 120.0f, dir);
        ASSERT_EQ(1u, midi->tracks[0].modulators.size()) << c.text;
        EXPECT_FLOAT_EQ(c.period, midi->tracks[0].modulators[0]->period) << "denominator '" << c.text << "'";
    }
}

TEST(SyncDescription, NumbersFollowScanfWithDefaults) {
    std::string dir = templateDir();
    struct Case {
        const char* what;
        std::string content;
        float attack, sustain, intensity;
        int cc;
    } cases[] = {
        {"attack 0.5 s at 120", envelope("0.5"), 1.0f, 0.6f, 1.0f, -1},
        {"attack not a number keeps 1 s", envelope("fast"), 2.0f, 0.6f, 1.0f, -1},
        {"sustain not a number keeps 1 percent", envelope("0.5", "full"), 1.0f, 0.01f, 1.0f, -1},
        {"sustain 100", envelope("0.5", "100"), 1.0f, 1.0f, 1.0f, -1},
        {"intensity not a number is 0",
         envelope("0.5") + "<intensity unit=\"float\">strong</intensity>", 1.0f, 0.6f, 0.0f, -1},
        {"intensity 2.5", envelope("0.5") + "<intensity unit=\"float\">2.5</intensity>", 1.0f, 0.6f,
         2.5f, -1},
        {"cc in octal", lfo("4", "saw", "010"), 0.0f, 0.0f, 1.0f, 8},
        {"cc in hex", lfo("4", "saw", "0x4A"), 0.0f, 0.0f, 1.0f, 74},
        {"cc not a number", lfo("4", "saw", "mod"), 0.0f, 0.0f, 1.0f, -1},
    };
    for (const Case& c : cases) {
        auto midi = tracks({"T"});
        parseModulators(description(modulator("T", c.content)), *midi, 120.0f, dir);
        ASSERT_EQ(1u, midi->tracks[0].modulators.size()) << c.what;
        const Modulator* m = midi->tracks[0].modulators[0].get();
        EXPECT_FLOAT_EQ(c.intensity, m->intensity) << c.what;
        EXPECT_EQ(c.cc, m->cc) << c.what;
        if (const auto* env = dynamic_cast<const ADSR*>(m)) {
            EXPECT_FLOAT_EQ(c.attack, env->attack) << c.what;
            EXPECT_FLOAT_EQ(c.sustain, env->sustain) << c.what;
        }
    }
}

TEST(SyncDescription, SecondsFollowTheTempo) {
    struct Case {
        float bpm, seconds, beats;
    } cases[] = {{120.0f, 0.5f, 1.0f}, {90.0f, 0.5f, 0.75f}, {85.71f, 0.7f, 0.99995f}, {60.0f, 2.0f, 2.0f}};
    for (const Case& c : cases) {
        auto midi = tracks({"T"});
        parseModulators(description(modulator("T", envelope(std::to_string(c.seconds)))), *midi,
                        c.bpm, "");
        const auto* env = dynamic_cast<const ADSR*>(midi->tracks[0].modulators[0].get());
        ASSERT_NE(nullptr, env);
        EXPECT_NEAR(c.beats, env->attack, 1e-5f) << c.seconds << " s at " << c.bpm;
    }
}

TEST(SyncDescription, KindsTracksAndOrder) {
    std::string dir = templateDir();
    auto midi = tracks({"Bass", "Pad", "Bass", ""});
    std::string log = parseModulators(
        description(modulator("Pad", "<lfo_other/><intensity unit=\"float\">0.3</intensity>", "odd") +
                    modulator("Bass", envelope("0.1"), "first") +
                    "<!-- a comment is no modulator -->" +
                    modulator("Bass", lfo("8") + envelope("0.2"), "second")),
        *midi, 120.0f, dir);
    EXPECT_NE(std::string::npos, log.find("..ouch, unrecognized modulator type\n")) << log;
    EXPECT_TRUE(midi->tracks[1].modulators.empty());
    // Both go to the first track named Bass, in document order; lfo wins over envelope.
    ASSERT_EQ(2u, midi->tracks[0].modulators.size());
    EXPECT_EQ(Modulator::Envelope, midi->tracks[0].modulators[0]->kind);
    EXPECT_EQ(Modulator::Oscillator, midi->tracks[0].modulators[1]->kind);
    EXPECT_TRUE(midi->tracks[2].modulators.empty());
    EXPECT_TRUE(midi->tracks[3].modulators.empty());
}

TEST(SyncDescription, ElementOfNeitherKindNeedsNoTrack) {
    auto midi = tracks({"Bass"});
    std::string log = parseModulators(
        description(modulator("Bass", envelope("0.1"), "before") +
                    modulator("Drums", "<other/><intensity unit=\"float\">2</intensity>", "w")),
        *midi, 120.0f, "");
    size_t found = log.find("  found modulator 'w' for track 'Drums'\n");
    ASSERT_NE(std::string::npos, found) << log;
    EXPECT_NE(std::string::npos, log.find("..ouch, unrecognized modulator type\n", found)) << log;
    // Nothing added, and the intensity beside it changes no earlier modulator.
    ASSERT_EQ(1u, midi->tracks[0].modulators.size());
    EXPECT_EQ(1.0f, midi->tracks[0].modulators[0]->intensity);
}

TEST(SyncDescription, TemplateRangesKeepLowBitsAndSkipOtherElements) {
    TiXmlDocument document;
    document.Parse(
        "<unit><template>"
        "<range><min>0</min><max>300</max><value><numerator>3</numerator><denominator>8</denominator></value></range>"
        "<note>not a range</note>"
        "<range><min>0x40</min><max>127</max><value><numerator>1</numerator><denominator>8 t</denominator></value></range>"
        "<range><min>-1</min><max>7</max><value><numerator>1</numerator><denominator>0</denominator></value></range>"
        "</template><template><range><min>9</min><max>9</max><value><numerator>1</numerator>"
        "<denominator>1</denominator></value></range></template></unit>");
    LFO osc(LFO::Sine, 1, 1, 4, false);
    parseTemplateDocument(document, osc);
    EXPECT_EQ(std::vector<uint8_t>({0, 64, 255}), osc.rangeMin);
    EXPECT_EQ(std::vector<uint8_t>({44, 127, 7}), osc.rangeMax);
    EXPECT_EQ(std::vector<float>({1.5f, 0.33333334f, 0.0f}), osc.rangePeriod);
}

TEST(SyncDescription, DocumentsLoadThroughTheDataLayerWithAnyLineEnds) {
    std::string dir = testpaths::freshScratchDir("sync_test_load") + "/";
    testpaths::writeFile(dir + "crlf.xml", std::string(kWobble).replace(6, 0, "\r\n\r") + "\r\n");
    testpaths::writeFile(dir + "bom.xml", "\xEF\xBB\xBF" + std::string(kWobble));
    for (const char* name : {"crlf.xml", "bom.xml"}) {
        LFO osc(LFO::Saw, 1, 1, 4, false);
        testing::internal::CaptureStdout();
        loadTemplate((dir + name).c_str(), &osc);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::vector<float>({1.0f, 0.25f}), osc.rangePeriod) << name;
        EXPECT_NE(std::string::npos, log.find("  ..loading " + dir + name + "\n")) << log;
        EXPECT_NE(std::string::npos, log.find("    ..parsing\n")) << log;
    }
}

TEST(SyncDescription, DirectoryPrefix) {
    struct Case {
        const char* path;
        const char* prefix;
    } cases[] = {{"data/common/music/Festoonery.xml", "data/common/music/"},
                 {"/abs/x.xml", "/abs/"},
                 {"plain.xml", ""},
                 {"dir/", "dir/"}};
    for (const Case& c : cases) EXPECT_EQ(c.prefix, syncDirectory(c.path)) << c.path;
}

using SyncDeathTest = testing::Test;

std::string regexEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\\\n";
        } else {
            if (strchr(".[]{}()*+?^$|\\", c)) out += '\\';
            out += c;
        }
    }
    return out;
}

std::string boxRegex(const std::string& message) {
    return "\\[box\\] Error in file src/util/music/sync_elements\\.cpp:[0-9]+ \\| .*" +
           regexEscape(message) + "\n";
}

struct FatalCase {
    const char* what;
    std::string content;  // the modulator element's content, association "T"
    std::string message;
};

TEST_F(SyncDeathTest, EveryMissingOrWrongPartOfAModulatorIsFatal) {
    const std::string tempo = "tempo_element->FirstChildElement( ";
    const std::string env = "env_element->FirstChildElement( ";
    const std::string withoutAttack =
        "<envelope><decay unit=\"s\" slope=\"exp\">0.2</decay><sustain unit=\"percent\">60</sustain>"
        "<release unit=\"s\" slope=\"exp\">0.5</release></envelope>";
    const FatalCase cases[] = {
        {"no wave", "<lfo><tempo/></lfo>", "lfo_element->FirstChildElement( \"wave\" ) is NULL"},
        {"wave text empty", "<lfo><wave/></lfo>", "lfo_element->FirstChildElement( \"wave\" )->GetText() is NULL"},
        {"wave Sine", lfo("8", "Sine"), "Unrecognized LFO wave type: Sine"},
        {"wave square", lfo("8", "square"), "Unrecognized LFO wave type: square"},
        {"no tempo", "<lfo><wave>saw</wave></lfo>", "tempo_element is NULL"},
        {"no numerator", "<lfo><wave>saw</wave><tempo><denominator>4</denominator></tempo></lfo>",
         tempo + "\"numerator\" ) is NULL"},
        {"no denominator", "<lfo><wave>saw</wave><tempo><numerator>1</numerator></tempo></lfo>",
         tempo + "\"denominator\" ) is NULL"},
        {"numerator text empty",
         "<lfo><wave>saw</wave><tempo><numerator/><denominator>4</denominator></tempo></lfo>",
         tempo + "\"numerator\" )->GetText() is NULL"},
        {"no controller",
         "<lfo><wave>saw</wave><tempo><numerator>1</numerator><denominator>4</denominator></tempo></lfo>",
         tempo + "\"controller\" ) is NULL"},
        {"no cc",
         "<lfo><wave>saw</wave><tempo><numerator>1</numerator><denominator>4</denominator>"
         "<controller/></tempo></lfo>",
         tempo + "\"controller\" )->FirstChildElement( \"cc\" ) is NULL"},
        {"no template",
         "<lfo><wave>saw</wave><tempo><numerator>1</numerator><denominator>4</denominator>"
         "<controller><cc>1</cc></controller></tempo></lfo>",
         tempo + "\"controller\" )->FirstChildElement( \"template\" ) is NULL"},
        {"template without file",
         "<lfo><wave>saw</wave><tempo><numerator>1</numerator><denominator>4</denominator>"
         "<controller><cc>1</cc><template/></controller></tempo></lfo>",
         tempo + "\"controller\" )->FirstChildElement( \"template\" )->Attribute( \"file\" ) is NULL"},
        {"no attack", withoutAttack, env + "\"attack\" ) is NULL"},
        {"no decay", "<envelope><attack/><sustain/><release/></envelope>", env + "\"decay\" ) is NULL"},
        {"no sustain", "<envelope><attack/><decay/><release/></envelope>", env + "\"sustain\" ) is NULL"},
        {"no release", "<envelope><attack/><decay/><sustain/></envelope>", env + "\"release\" ) is NULL"},
        {"attack text empty", "<envelope><attack/><decay/><sustain/><release/></envelope>",
         env + "\"attack\" )->GetText() is NULL"},
        {"attack without unit",
         "<envelope><attack>1</attack><decay/><sustain/><release/></envelope>",
         env + "\"attack\" )->Attribute( \"unit\" ) is NULL"},
        {"attack without slope",
         "<envelope><attack unit=\"s\">1</attack><decay/><sustain/><release/></envelope>",
         env + "\"attack\" )->Attribute( \"slope\" ) is NULL"},
        {"attack unit S", envelope("0.1", "60", "S"), "Unrecognized unit type: S"},
        {"attack unit ms", envelope("0.1", "60", "ms"), "Unrecognized unit type: ms"},
        {"attack slope Linear", envelope("0.1", "60", "s", "percent", "Linear"),
         "Unrecognized slope type: Linear"},
        {"attack slope log", envelope("0.1", "60", "s", "percent", "log"), "Unrecognized slope type: log"},
        {"sustain unit Percent", envelope("0.1", "60", "s", "Percent"), "Unrecognized unit type: Percent"},
        {"sustain without unit",
         "<envelope><attack unit=\"s\" slope=\"exp\">1</attack><decay unit=\"s\" slope=\"exp\">1</decay>"
         "<sustain>5</sustain><release/></envelope>",
         env + "\"sustain\" )->Attribute( \"unit\" ) is NULL"},
        {"release slope Exp",
         "<envelope><attack unit=\"s\" slope=\"exp\">1</attack><decay unit=\"s\" slope=\"exp\">1</decay>"
         "<sustain unit=\"percent\">5</sustain><release unit=\"s\" slope=\"Exp\">1</release></envelope>",
         "Unrecognized slope type: Exp"},
        {"decay unit sec",
         "<envelope><attack unit=\"s\" slope=\"exp\">1</attack><decay unit=\"sec\" slope=\"exp\">1</decay>"
         "<sustain unit=\"percent\">5</sustain><release unit=\"s\" slope=\"exp\">1</release></envelope>",
         "Unrecognized unit type: sec"},
        {"intensity unit Float", envelope("0.1") + "<intensity unit=\"Float\">1</intensity>",
         "Unexpected intensity unit: Float"},
        {"intensity without unit", envelope("0.1") + "<intensity>1</intensity>",
         "modulator_element->FirstChildElement( \"intensity\" )->Attribute( \"unit\" ) is NULL"},
        {"intensity text empty", envelope("0.1") + "<intensity unit=\"float\"/>",
         "modulator_element->FirstChildElement( \"intensity\" )->GetText() is NULL"},
        {"intensity unit checked beside an unknown kind", "<other/><intensity unit=\"percent\">1</intensity>",
         "Unexpected intensity unit: percent"},
        {"template file missing", lfo("8", "saw", "1", "nowhere.xml"),
         "Could not load DIR/nowhere.xml. Error='Failed to open file'. Exiting.\n"},
    };
    std::string dir = templateDir();
    for (const FatalCase& c : cases) {
        std::string message = c.message;
        size_t at = message.find("DIR/");
        if (at != std::string::npos) message.replace(at, 4, dir);
        auto midi = tracks({"T"});
        EXPECT_EXIT(parseModulators(description(modulator("T", c.content)), *midi, 120.0f, dir),
                    testing::ExitedWithCode(1), boxRegex(message))
            << c.what;
    }
}

TEST_F(SyncDeathTest, AssociationMustNameATrack) {
    struct Case {
        const char* what;
        std::string element;
        std::string message;
    } cases[] = {
        {"no association", "<modulator name=\"x\">" + envelope("0.1") + "</modulator>",
         "modulator_element->Attribute( \"association\" ) is NULL"},
        {"unknown track", modulator("Drums", envelope("0.1"), "x"),
         "No MIDI track named 'Drums' for modulator 'x'"},
        {"wrong case", modulator("bass", envelope("0.1"), "y"), "No MIDI track named 'bass' for modulator 'y'"},
        {"empty name does not match an unnamed track", modulator("", envelope("0.1"), "z"),
         "No MIDI track named '' for modulator 'z'"},
        {"lfo for an unknown track", modulator("Drums", "<lfo/>", "w"),
         "No MIDI track named 'Drums' for modulator 'w'"},
    };
    for (const Case& c : cases) {
        auto midi = tracks({"Bass", ""});
        EXPECT_EXIT(parseModulators(description(c.element), *midi, 120.0f, ""),
                    testing::ExitedWithCode(1), boxRegex(c.message))
            << c.what;
    }
}

TEST_F(SyncDeathTest, EveryMissingPartOfATemplateIsFatal) {
    const std::string value = "<value><numerator>1</numerator><denominator>4</denominator></value>";
    const std::string cur = "cur_el->FirstChildElement( ";
    const FatalCase cases[] = {
        {"no unit", "<template/>", "element is NULL"},
        {"no template", "<unit><range/></unit>", "element->FirstChildElement( \"template\" ) is NULL"},
        {"no range", "<unit><template><ranges/></template></unit>",
         "element->FirstChildElement( \"template\" )->FirstChildElement( \"range\" ) is NULL"},
        {"no min", "<unit><template><range><max>1</max>" + value + "</range></template></unit>",
         cur + "\"min\" ) is NULL"},
        {"no max", "<unit><template><range><min>1</min>" + value + "</range></template></unit>",
         cur + "\"max\" ) is NULL"},
        {"no value", "<unit><template><range><min>1</min><max>2</max></range></template></unit>",
         cur + "\"value\" ) is NULL"},
        {"no numerator",
         "<unit><template><range><min>1</min><max>2</max><value><denominator>4</denominator></value>"
         "</range></template></unit>",
         cur + "\"value\" )->FirstChildElement( \"numerator\" ) is NULL"},
        {"no denominator",
         "<unit><template><range><min>1</min><max>2</max><value><numerator>4</numerator></value>"
         "</range></template></unit>",
         cur + "\"value\" )->FirstChildElement( \"denominator\" ) is NULL"},
        {"second range lacks max",
         "<unit><template><range><min>1</min><max>2</max>" + value + "</range><range><min>3</min>" +
             value + "</range></template></unit>",
         cur + "\"max\" ) is NULL"},
        {"min empty", "<unit><template><range><min/><max>2</max>" + value + "</range></template></unit>",
         cur + "\"min\" )->GetText() is NULL"},
        {"min not a number", "<unit><template><range><min>low</min><max>2</max>" + value +
                                 "</range></template></unit>",
         "Range min is not a number: low"},
        {"max not a number", "<unit><template><range><min>1</min><max>top</max>" + value +
                                 "</range></template></unit>",
         "Range max is not a number: top"},
    };
    for (const FatalCase& c : cases) {
        TiXmlDocument document;
        document.Parse(c.content.c_str());
        LFO osc(LFO::Saw, 1, 1, 4, false);
        EXPECT_EXIT(parseTemplateDocument(document, osc), testing::ExitedWithCode(1), boxRegex(c.message))
            << c.what;
    }
}

TEST_F(SyncDeathTest, DocumentsThatDoNotLoad) {
    std::string dir = testpaths::freshScratchDir("sync_test_docs") + "/";
    testpaths::writeFile(dir + "broken.xml", "<modulators><modulator></modulators>");
    testpaths::writeFile(dir + "empty.xml", "");
    ASSERT_EQ(0, mkfifo((dir + "pipe.xml").c_str(), 0600));
    struct Case {
        std::string path;
        std::string message;
    } cases[] = {
        {dir + "missing.xml", "Could not load " + dir + "missing.xml. Error='Failed to open file'. Exiting.\n"},
        {dir + "broken.xml", "Could not load " + dir + "broken.xml. Error='Error reading end tag.'. Exiting.\n"},
        // A folder or a pipe is refused when it is opened, never read or waited on.
        {dir, "Could not load " + dir + ". Error='Failed to open file'. Exiting.\n"},
        {dir + "pipe.xml", "Could not load " + dir + "pipe.xml. Error='Failed to open file'. Exiting.\n"},
        {dir + "empty.xml", "Could not load " + dir + "empty.xml. Error='Error document empty.'. Exiting.\n"},
    };
    for (const Case& c : cases) {
        TiXmlDocument document;
        EXPECT_EXIT(loadSyncDocument(document, c.path.c_str()), testing::ExitedWithCode(1), boxRegex(c.message))
            << c.path;
    }
    LFO osc(LFO::Saw, 1, 1, 4, false);
    EXPECT_EXIT(loadTemplate((dir + "broken.xml").c_str(), &osc), testing::ExitedWithCode(1),
                boxRegex("Could not load " + dir + "broken.xml. Error='Error reading end tag.'. Exiting.\n"));
}

}  // namespace

namespace {

// The whole loader through Music: a half-second tone, a MIDI file at 90 bpm with the
// tracks Bass, Pad and Lead, the template wobble.xml, all beside the description.
class SyncLoad : public testing::Test {
protected:
    void SetUp() override {
        audio::useOfflineClock(true);
        dir = templateDir();
        sinefixture::write(dir + "tone.ogg", sinefixture::Kind::Ogg, 44100, 2, 0.5);
        Bytes midi = midiWithTracks({"Bass", "Pad", "Lead"});
        // A tempo of 666666 microseconds (90.00 bpm) in front of the first track's events.
        const Bytes tempo = {0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A};
        size_t firstEvents = 14 + 8;
        midi.insert(midi.begin() + long(firstEvents), tempo.begin(), tempo.end());
        midi[firstEvents - 1] = uint8_t(midi[firstEvents - 1] + tempo.size());
        testpaths::writeFile(dir + "song.mid", std::string(midi.begin(), midi.end()));
    }
    void TearDown() override { audio::useOfflineClock(false); }

    std::string writeDescription(const std::string& xml) {
        testpaths::writeFile(dir + "song.xml", xml);
        return dir + "song.xml";
    }

    std::string dir;
};

TEST_F(SyncLoad, DescriptionFillsStreamTempoAndTracks) {
    std::string path = writeDescription(description(
        modulator("Bass", envelope("0.5") + "<intensity unit=\"float\">0.8</intensity>", "kick glow") +
        modulator("Pad", lfo("8t"), "pad wobble") + modulator("Bass", lfo("4", "saw"), "second")));
    // The description's stream and MIDI names are song.ogg / song.mid; use the tone.
    testpaths::writeFile(dir + "song.ogg", testpaths::readFile(dir + "tone.ogg"));
    testing::internal::CaptureStdout();
    Music music(path.c_str());
    std::string log = testing::internal::GetCapturedStdout();

    EXPECT_NE(0u, music.stream);
    ASSERT_NE(nullptr, music.midi);
    EXPECT_FLOAT_EQ(90.0f, music.bpm);
    const MidiFile& midi = *music.midi;
    ASSERT_EQ(3u, midi.tracks.size());
    struct Count {
        const char* track;
        size_t modulators;
    } counts[] = {{"Bass", 2}, {"Pad", 1}, {"Lead", 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_STREQ(counts[i].track, midi.tracks[i].name);
        EXPECT_EQ(counts[i].modulators, midi.tracks[i].modulators.size()) << counts[i].track;
        std::string line = std::string("  track '") + counts[i].track + "' has " +
                           std::to_string(counts[i].modulators) + " modulators\n";
        EXPECT_NE(std::string::npos, log.find(line)) << line << log;
    }
    const auto* env = dynamic_cast<const ADSR*>(midi.tracks[0].modulators[0].get());
    ASSERT_NE(nullptr, env);
    EXPECT_NEAR(0.75f, env->attack, 1e-5f) << "0.5 s at 90 bpm";
    EXPECT_NEAR(0.3f, env->decay, 1e-5f) << "0.2 s at 90 bpm";
    EXPECT_NEAR(0.8f, env->intensity, 1e-6f);
    EXPECT_EQ(std::vector<float>({1.0f, 0.25f}), midi.tracks[1].modulators[0]->rangePeriod);

    const std::string ordered[] = {
        "  Loading " + path + "\n", "  ..parsing\n", "streaming file [", "Loading MIDI file " + dir + "song.mid",
        "Loading Modulators...\n", "  found modulator 'kick glow' for track 'Bass'\n",
        "  found modulator 'pad wobble' for track 'Pad'\n", "  ..loading " + dir + "wobble.xml\n",
        "  found modulator 'second' for track 'Bass'\n", "  track 'Bass' has 2 modulators\n",
    };
    size_t at = 0;
    for (const std::string& line : ordered) {
        size_t found = log.find(line, at);
        EXPECT_NE(std::string::npos, found) << "in order: " << line << "\n" << log;
        if (found != std::string::npos) at = found;
    }
}

using SyncLoadDeathTest = SyncLoad;

std::string syncBox(const std::string& message) {
    return "\\[box\\] Error in file src/util/music/sync\\.cpp:[0-9]+ \\| .*" + regexEscape(message) + "\n";
}

TEST_F(SyncLoadDeathTest, TopLevelPartsAreRequired) {
    struct Case {
        const char* what;
        std::string xml;
        std::string regex;
    } cases[] = {
        {"no modulators element", "<modulator/>", syncBox("element is NULL")},
        {"no stream_filename", "<modulators mididata_filename=\"song.mid\"/>",
         syncBox("element->Attribute( \"stream_filename\" ) is NULL")},
        {"no mididata_filename", "<modulators stream_filename=\"tone.ogg\"/>",
         syncBox("element->Attribute( \"mididata_filename\" ) is NULL")},
        {"not XML", "<modulators",
         "\\[box\\] Error in file src/util/music/sync_elements\\.cpp:[0-9]+ \\| .*" +
             regexEscape("Could not load " + dir + "song.xml. Error='") + "[A-Za-z .]+'\\. Exiting"},
    };
    for (const Case& c : cases) {
        std::string path = writeDescription(c.xml);
        EXPECT_EXIT(Music music(path.c_str()), testing::ExitedWithCode(1), c.regex) << c.what;
    }
}

}  // namespace
