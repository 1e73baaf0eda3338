#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/music/midi.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes header(uint16_t chunks, uint16_t division = 96, uint16_t format = 1) {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, uint8_t(format >> 8), uint8_t(format),
            uint8_t(chunks >> 8), uint8_t(chunks), uint8_t(division >> 8), uint8_t(division)};
}

Bytes chunk(const Bytes& events) {
    uint32_t n = uint32_t(events.size());
    Bytes out = {'M', 'T', 'r', 'k', uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    out.insert(out.end(), events.begin(), events.end());
    return out;
}

Bytes trackName(const std::string& name) {
    Bytes out = {0x00, 0xFF, 0x03, uint8_t(name.size())};
    for (char c : name) out.push_back(uint8_t(c));
    return out;
}

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kOneNote = {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00};

// A file of the given chunks at 96 ticks per quarter note.
Bytes midiFile(std::initializer_list<Bytes> chunks, uint16_t division = 96) {
    Bytes out = header(uint16_t(chunks.size()), division);
    for (const Bytes& c : chunks) {
        Bytes ch = chunk(c);
        out.insert(out.end(), ch.begin(), ch.end());
    }
    return out;
}

std::string writeMidi(const Bytes& bytes) {
    static const std::string dir = testpaths::freshScratchDir("midi_test");
    std::string path = dir + "/fixture.mid";
    testpaths::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

// Loads the bytes through a file, as the engine does; log is the captured stdout.
std::unique_ptr<MidiFile> load(const Bytes& bytes, std::string* log = nullptr) {
    std::string path = writeMidi(bytes);
    testing::internal::CaptureStdout();
    auto midi = std::make_unique<MidiFile>(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    if (log) *log = out;
    return midi;
}

std::string regexEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\\\n";  // the box record writes a line feed as the two characters \n
        } else {
            if (strchr(".[]{}()*+?^$|\\", c)) out += '\\';
            out += c;
        }
    }
    return out;
}

std::string boxRegex(const std::string& message) {
    return "\\[box\\] Error in file src/util/music/midi\\.cpp:[0-9]+ \\| .*" + regexEscape(message);
}

const std::string kLocationOnly = "\\[box\\] Error \\| Error in file src/util/music/midi\\.cpp:[0-9]+";

TEST(MidiFileHeader, LogsFormatChunksDivisionAndTheTrackSummary) {
    std::string log;
    const Bytes file = midiFile({concat({trackName("Bass"), {0x60, 0x90, 0x3C, 0x40},
                                         {0x60, 0x3C, 0x00}, {0x00, 0x90, 0x30, 0x40}, kEndOfTrack}),
                                 concat({kOneNote, kEndOfTrack})});
    auto midi = load(file, &log);
    const char* lines[] = {
        "  MIDI file format 1 found\n",
        "  Number of MTrk chunks: 2\n",
        "  Milliseconds 1/4 delta: 96\n",
        "  A total of 2 tracks were added:\n",
        "   \"Bass\", 3 note events, 2 different, first at 1.00, low/high C4/C5 (48/60)\n",
        "   \"\", 2 note events, 1 different, first at 0.00, low/high C5/C5 (60/60)\n",
    };
    for (const char* line : lines) EXPECT_NE(std::string::npos, log.find(line)) << line << log;
    EXPECT_NE(std::string::npos, log.find("Loading MIDI file ")) << log;
    EXPECT_NE(std::string::npos, log.find(", " + std::to_string(file.size()) + " bytes long\n")) << log;
    ASSERT_EQ(2u, midi->tracks.size());
    EXPECT_STREQ("Bass", midi->tracks[0].name);
    EXPECT_EQ(nullptr, midi->tracks[1].name);
}

TEST(MidiFileHeader, LargeFilesAreReadWhole) {
    // More than one read block: 3000 note on/off pairs on 60 note numbers.
    Bytes events;
    for (int i = 0; i < 3000; ++i) {
        for (uint8_t b : Bytes{0x01, 0x90, uint8_t(i % 60), 0x40, 0x01, 0x80, uint8_t(i % 60), 0x00})
            events.push_back(b);
    }
    for (uint8_t b : kEndOfTrack) events.push_back(b);
    std::string log;
    auto midi = load(midiFile({events}), &log);
    ASSERT_EQ(1u, midi->tracks.size());
    EXPECT_EQ(6000, midi->tracks[0].noteEvents);
    EXPECT_EQ(60u, midi->tracks[0].notes.size());
    EXPECT_EQ(100u, midi->tracks[0].notes[59].times.size());
    EXPECT_NE(std::string::npos, log.find(", 24026 bytes long\n")) << log.substr(0, 200);
}

TEST(MidiFileHeader, DefaultsWithoutMetaEventsAndZeroChunks) {
    std::string log;
    auto midi = load(header(0), &log);
    EXPECT_NE(std::string::npos, log.find("  A total of 0 tracks were added:\n")) << log;
    EXPECT_TRUE(midi->tracks.empty());
    EXPECT_EQ(120.0f, midi->bpm);
    EXPECT_EQ(4, midi->timeSigNumerator);
    EXPECT_EQ(4, midi->timeSigDenominator);
    EXPECT_EQ(24, midi->clocksPerClick);
    EXPECT_EQ(8, midi->thirtySecondsPerQuarter);
    EXPECT_EQ(0, midi->keySignature);
    EXPECT_FALSE(midi->minorKey);
    EXPECT_EQ(nullptr, midi->text);
    EXPECT_EQ(nullptr, midi->copyright);
}

TEST(MidiFileMeta, TemposRoundToTwoDecimals) {
    struct Case {
        Bytes micros;
        float bpm;
        const char* line;
    } cases[] = {
        {{0x07, 0xA1, 0x20}, 120.00f, "  Got bpm of 120.00\n"},
        {{0x0A, 0x2C, 0x2A}, 90.00f, "  Got bpm of 90.00\n"},
        {{0x0A, 0xAE, 0x60}, 85.71f, "  Got bpm of 85.71\n"},
        {{0x0F, 0x42, 0x40}, 60.00f, "  Got bpm of 60.00\n"},
    };
    for (const Case& c : cases) {
        std::string log;
        auto midi = load(midiFile({concat({{0x00, 0xFF, 0x51, 0x03}, c.micros, kOneNote, kEndOfTrack})}),
                         &log);
        EXPECT_FLOAT_EQ(c.bpm, midi->bpm) << c.line;
        EXPECT_NE(std::string::npos, log.find(c.line)) << c.line << log;
    }
}

TEST(MidiFileMeta, TimeAndKeySignatures) {
    struct Case {
        Bytes event;
        int numerator, denominator, clocks, thirtySeconds, key;
        bool minor;
        const char* line;
    } cases[] = {
        {{0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08}, 6, 8, 24, 8, 0, false,
         "  Time signature is 6/8, 24 MIDI clocks per metronome tick, 8 32th notes per 24 MIDI "
         "clocks\n"},
        {{0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x30, 0x08}, 3, 4, 48, 8, 0, false,
         "  Time signature is 3/4, 48 MIDI clocks"},
        // 2^8 does not fit the 8-bit denominator: its low 8 bits are kept.
        {{0x00, 0xFF, 0x58, 0x04, 0x05, 0x08, 0x18, 0x08}, 5, 0, 24, 8, 0, false,
         "  Time signature is 5/0"},
        {{0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01}, 4, 4, 24, 8, -3, true, "  Key signature is -3, minor\n"},
        {{0x00, 0xFF, 0x59, 0x02, 0x02, 0x00}, 4, 4, 24, 8, 2, false, "  Key signature is 2, major\n"},
        {{0x00, 0xFF, 0x59, 0x02, 0x00, 0x02}, 4, 4, 24, 8, 0, false, "  Key signature is 0, major\n"},
    };
    for (const Case& c : cases) {
        std::string log;
        auto midi = load(midiFile({concat({c.event, kOneNote, kEndOfTrack})}), &log);
        EXPECT_EQ(c.numerator, midi->timeSigNumerator) << c.line;
        EXPECT_EQ(c.denominator, midi->timeSigDenominator) << c.line;
        EXPECT_EQ(c.clocks, midi->clocksPerClick) << c.line;
        EXPECT_EQ(c.thirtySeconds, midi->thirtySecondsPerQuarter) << c.line;
        EXPECT_EQ(c.key, midi->keySignature) << c.line;
        EXPECT_EQ(c.minor, midi->minorKey) << c.line;
        EXPECT_NE(std::string::npos, log.find(c.line)) << c.line << log;
    }
}

TEST(MidiFileMeta, TextAndCopyrightAreLoggedAndKept) {
    std::string log;
    auto midi = load(midiFile({concat({{0x00, 0xFF, 0x01, 0x05, 'h', 'e', 'l', 'l', 'o'},
                                       {0x00, 0xFF, 0x02, 0x03, '(', 'c', ')'}, kOneNote,
                                       kEndOfTrack})}),
                     &log);
    EXPECT_STREQ("hello", midi->text);
    EXPECT_STREQ("(c)", midi->copyright);
    EXPECT_NE(std::string::npos, log.find("  Text info: hello\n")) << log;
    EXPECT_NE(std::string::npos, log.find("  Copyright info: (c)\n")) << log;
}

struct NoteCase {
    const char* what;
    Bytes events;
    int noteEvents;
    std::vector<float> times;
    std::vector<int> velocities;
};

TEST(MidiFileNotes, OnOffRulesForNote60) {
    // 96 ticks per beat: delta 0x60 is one beat, 0x81 0x40 two.
    NoteCase cases[] = {
        {"on, running-status off, repeated off",
         {0x60, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x60, 0x80, 0x3C, 0x40}, 3, {1, -2}, {0x40, 0}},
        {"two ons without an off", {0x60, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x50}, 2, {1}, {0x40}},
        {"first event an off", {0x82, 0x20, 0x80, 0x3C, 0x00}, 1, {-3}, {0}},
        {"on off on off", {0x00, 0x90, 0x3C, 0x10, 0x30, 0x3C, 0x00, 0x30, 0x3C, 0x20, 0x60, 0x3C, 0x00},
         4, {0, -0.5f, 1, -2}, {0x10, 0, 0x20, 0}},
        {"other channels merge", {0x00, 0x93, 0x3C, 0x40, 0x60, 0x8F, 0x3C, 0x00}, 2, {0, -1}, {0x40, 0}},
    };
    for (const NoteCase& c : cases) {
        auto midi = load(midiFile({concat({c.events, kEndOfTrack})}));
        ASSERT_EQ(1u, midi->tracks.size()) << c.what;
        const MidiTrack& track = midi->tracks[0];
        EXPECT_EQ(c.noteEvents, track.noteEvents) << c.what;
        ASSERT_EQ(1u, track.notes.size()) << c.what;
        const MidiNote& note = track.notes[0];
        EXPECT_EQ(60, note.note) << c.what;
        EXPECT_STREQ("C5", note.name) << c.what;
        EXPECT_EQ(c.times, note.times) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(c.velocities.begin(), c.velocities.end()), note.velocities)
            << c.what;
    }
}

TEST(MidiFileNotes, NotesKeepTheirOrderOfFirstAppearance) {
    auto midi = load(midiFile({concat({{0x00, 0x90, 0x40, 0x40, 0x00, 0x30, 0x40, 0x00, 0x3C, 0x40,
                                        0x60, 0x40, 0x00}, kEndOfTrack})}, 48));
    const MidiTrack& track = midi->tracks[0];
    ASSERT_EQ(3u, track.notes.size());
    int expected[] = {0x40, 0x30, 0x3C};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(expected[i], track.notes[i].note) << "entry " << i;
    EXPECT_EQ(std::vector<float>({0, -2}), track.notes[0].times);
}

TEST(MidiFileControllers, VolumePanLanesAndSkippedEvents) {
    auto midi = load(midiFile({concat({{0x00, 0xB0, 0x07, 0x64},         // volume 100
                                       {0x00, 0x0A, 0x20},               // running status: pan 32
                                       {0x30, 0xB2, 0x01, 0x05},         // mod wheel 5 at beat 0.5
                                       {0x30, 0x01, 0x7F},               // mod wheel 127 at 1.0
                                       {0x00, 0xA0, 0x3C, 0x10},         // aftertouch, skipped
                                       {0x00, 0xD0, 0x22},               // channel pressure, skipped
                                       {0x00, 0xB0, 0x4A, 0x11}, kOneNote, kEndOfTrack})}));
    const MidiTrack& track = midi->tracks[0];
    EXPECT_EQ(100.0f, track.volume);
    EXPECT_EQ(32.0f, track.pan);
    EXPECT_EQ(std::vector<float>({0.5f, 1.0f}), track.controllers[1].times);
    EXPECT_EQ(std::vector<uint8_t>({5, 127}), track.controllers[1].values);
    EXPECT_EQ(std::vector<float>({1.0f}), track.controllers[0x4A].times);
    EXPECT_TRUE(track.controllers[7].times.empty());
    EXPECT_TRUE(track.controllers[10].times.empty());
    EXPECT_EQ(2, track.noteEvents);
}

TEST(MidiFileTracks, TrackWithoutNotesIsDroppedButItsTempoCounts) {
    std::string log;
    auto midi = load(midiFile({concat({trackName("Conductor"), {0x00, 0xFF, 0x51, 0x03, 0x0A, 0xAE, 0x60},
                                       {0x00, 0xB0, 0x01, 0x05}, kEndOfTrack}),
                               concat({trackName("Pad"), kOneNote, kEndOfTrack})}),
                     &log);
    ASSERT_EQ(1u, midi->tracks.size());
    EXPECT_STREQ("Pad", midi->tracks[0].name);
    EXPECT_FLOAT_EQ(85.71f, midi->bpm);
    EXPECT_NE(std::string::npos, log.find("  A total of 1 tracks were added:\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("Conductor")) << log;
}

TEST(MidiFileTracks, EventsRunToTheChunkEndPastEndOfTrack) {
    auto midi = load(midiFile({concat({kEndOfTrack, kOneNote})}));
    ASSERT_EQ(1u, midi->tracks.size());
    EXPECT_EQ(2, midi->tracks[0].noteEvents);
}

TEST(MidiReader, NoteNames) {
    struct Case {
        int note;
        const char* name;
    } cases[] = {{0, "C0"},  {1, "C#0"},   {11, "B0"},    {12, "C1"},   {60, "C5"},   {61, "C#5"},
                 {69, "A5"}, {70, "A#5"},  {127, "G10"},  {126, "F#10"}, {255, "D#21"}};
    for (const Case& c : cases) {
        char out[7];
        noteName(uint8_t(c.note), out);
        EXPECT_STREQ(c.name, out) << "note " << c.note;
    }
}

TEST(MidiReader, RoundTo2) {
    struct Case {
        float in, out;
    } cases[] = {{120.0f, 120.0f}, {90.00009f, 90.0f}, {85.714287f, 85.71f},
                 {1.005f, 1.0f},   {1.235f, 1.24f},     {0.0f, 0.0f},     {-1.234f, -1.23f}};
    for (const Case& c : cases) EXPECT_FLOAT_EQ(c.out, roundTo2(c.in)) << c.in;
}

TEST(MidiReader, VariableLengthQuantities) {
    struct Case {
        Bytes bytes;
        uint32_t value;
        size_t consumed;
    } cases[] = {
        {{0x00}, 0, 1},
        {{0x7F, 0x55}, 0x7F, 1},
        {{0x81, 0x00}, 0x80, 2},
        {{0xC0, 0x00}, 0x2000, 2},
        {{0xFF, 0x7F}, 0x3FFF, 2},
        {{0x81, 0x80, 0x00}, 0x4000, 3},
        {{0x81, 0x80, 0x80, 0x00}, 0x200000, 4},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF, 4},
    };
    for (const Case& c : cases) {
        const uint8_t* cursor = c.bytes.data();
        uint32_t got = readVarLen(&cursor, c.bytes.data() + c.bytes.size());
        EXPECT_EQ(c.value, got) << "0x" << std::hex << c.value;
        EXPECT_EQ(c.consumed, size_t(cursor - c.bytes.data())) << "0x" << std::hex << c.value;
    }
}

TEST(MidiReader, BigEndianIntegers) {
    const Bytes bytes = {0x12, 0x34, 0x56, 0x78, 0x9A};
    struct Case {
        int n;
        uint32_t value;
    } cases[] = {{1, 0x12}, {2, 0x1234}, {3, 0x123456}, {4, 0x12345678}};
    for (const Case& c : cases) {
        const uint8_t* cursor = bytes.data();
        EXPECT_EQ(c.value, readBigEndian(c.n, &cursor, bytes.data() + bytes.size())) << c.n;
        EXPECT_EQ(c.n, cursor - bytes.data());
    }
}

TEST(MidiReader, MetaTextRules) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool preset;
        bool ok;
        const char* text;
        size_t consumed;
        const char* log;
    } cases[] = {
        {"plain", {0x03, 0x04, 'L', 'e', 'a', 'd', 0x00}, false, true, "Lead", 6, ""},
        {"zero byte inside", {0x03, 0x04, 'L', 0x00, 'a', 'd', 0x77}, false, true, "L", 6, ""},
        {"length zero", {0x03, 0x00}, false, false, nullptr, 2, "Text length zero\n"},
        {"already set", {0x03, 0x02, 'x', 'y'}, true, false, "old", 0, "dst buffer not empty!\n"},
    };
    for (const Case& c : cases) {
        char* text = nullptr;
        if (c.preset) text = strdup("old");
        const uint8_t* cursor = c.bytes.data();
        testing::internal::CaptureStdout();
        bool ok = readMetaText(&text, &cursor, c.bytes.data() + c.bytes.size());
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.ok, ok) << c.what;
        if (c.text) {
            EXPECT_STREQ(c.text, text) << c.what;
        } else {
            EXPECT_EQ(nullptr, text) << c.what;
        }
        EXPECT_EQ(c.consumed, size_t(cursor - c.bytes.data())) << c.what;
        if (*c.log) {
            EXPECT_NE(std::string::npos, log.find(c.log)) << c.what << ": " << log;
        }
        free(text);
    }
}

using MidiDeathTest = testing::Test;

struct FatalCase {
    const char* what;
    Bytes file;
    std::string regex;
};

TEST_F(MidiDeathTest, EveryRefusedEventEndsTheProcessWithItsMessage) {
    auto events = [](const Bytes& e) { return midiFile({concat({e, kEndOfTrack})}); };
    const FatalCase cases[] = {
        {"header length 7",
         {'M', 'T', 'h', 'd', 0, 0, 0, 7, 0, 1, 0, 0, 0, 96},
         boxRegex("  Unknown header info, MIDI file format not recognized\n\nThe header chunk's length is not 6 "
                  "(the file starts with 4D 54 68 64 00 00 00 07); the reader takes \"MThd\" 00 00 00 06.")},
        {"empty file", {},
         boxRegex("  Unknown header info, MIDI file format not recognized\n\nThe file starts with nothing (it is "
                  "empty); a standard MIDI file starts with \"MThd\" 00 00 00 06.")},
        {"no MTrk", concat({header(1), {'M', 'T', 'r', 'x', 0, 0, 0, 0}}),
         boxRegex(" Could not find track chunk header, unrecognized file format!\n\nChunk 1 of 1 at byte 14 is "
                  "\"MTrx\", not \"MTrk\"")},
        {"fewer chunks than counted", concat({header(2), chunk(concat({kOneNote, kEndOfTrack}))}),
         boxRegex(" Could not find track chunk header, unrecognized file format!\n\nThe file ends at byte 34, "
                  "before track chunk 2 of the 2 the header counts.")},
        {"sysex F0", events({0x00, 0xF0, 0x01, 0x00}),
         boxRegex("  Got SysEx event, not supported yet, panicking!\n\nSysEx event (status F0) in track 1 at byte "
                  "23. festoonery-tool midi-import IN OUT writes a copy")},
        {"sysex F7", events({0x00, 0xF7, 0x01, 0x00}),
         boxRegex("  Got SysEx event, not supported yet, panicking!")},
        {"second text", events({0x00, 0xFF, 0x01, 0x01, 'a', 0x00, 0xFF, 0x01, 0x01, 'b'}),
         boxRegex("Retrieving text info failed!\n\nA second text event in track 1 at byte 28; the reader takes "
                  "one per file (the first: \"a\").")},
        {"text length 0", events({0x00, 0xFF, 0x01, 0x00}),
         boxRegex("Retrieving text info failed!\n\nThe text event in track 1 at byte 23 is empty (length 0).")},
        {"second copyright", events({0x00, 0xFF, 0x02, 0x01, 'a', 0x00, 0xFF, 0x02, 0x01, 'b'}),
         boxRegex("Retrieving copyright info failed!\n\nA second copyright event in track 1 at byte 28")},
        {"empty track name", events(trackName("")),
         boxRegex("Retrieving track name failed!\n\nThe track name event in track 1 at byte 23 is empty")},
        {"second track name", concat({events(concat({trackName("A"), trackName("B")}))}),
         boxRegex("Retrieving track name failed!\n\nA second track name event in track 1 at byte 28; the reader "
                  "takes one per track (the first: \"A\").")},
        {"end of track length 1", events({0x00, 0xFF, 0x2F, 0x01, 0x00}), boxRegex("Expected 0x00")},
        {"tempo length 4", events({0x00, 0xFF, 0x51, 0x04, 0x07, 0xA1, 0x20, 0x00}),
         boxRegex("Expected 0x03\n\nThe tempo event in track 1 at byte 23 has length 4; it has 3 bytes.")},
        {"time signature length 3", events({0x00, 0xFF, 0x58, 0x03, 0x04, 0x02, 0x18}),
         boxRegex("Expected 0x04")},
        {"key signature length 1", events({0x00, 0xFF, 0x59, 0x01, 0x00}), boxRegex("Expected 0x02")},
        {"meta 0x08", events({0x00, 0xFF, 0x08, 0x00}), boxRegex("  Unknown meta event, panicking!")},
        {"meta 0x21", events({0x00, 0xFF, 0x21, 0x01, 0x00}),
         boxRegex("  Unknown meta event, panicking!\n\nMIDI port meta event (FF 21) in track 1 at byte 23")},
        {"meta 0x50", events({0x00, 0xFF, 0x50, 0x00}), boxRegex("  Unknown meta event, panicking!")},
        {"meta 0x80", events({0x00, 0xFF, 0x80, 0x00}), boxRegex("  Unknown meta event, panicking!")},
        {"meta 0xFF", events({0x00, 0xFF, 0xFF, 0x00}), boxRegex("  Unknown meta event, panicking!")},
        {"data byte before any status", events({0x00, 0x3C, 0x40}),
         boxRegex("Unknown event 3 from 3c, corrupt MIDI file? Panicking!\n\nData byte 3C in track 1 at byte 23 has "
                  "no status byte before it in its track.")},
        {"status F1", events({0x00, 0xF1, 0x22}),
         boxRegex("Unknown event 2 from 22, corrupt MIDI file? Panicking!\n\nStatus byte F1 in track 1 at byte 23 "
                  "is no event of a MIDI file")},
        {"status FE", events({0x00, 0xFE, 0x91}),
         boxRegex("Unknown event 9 from 91, corrupt MIDI file? Panicking!")},
        {"delta time of five bytes", events({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}),
         boxRegex("Found 4 bytes of delta time without a 0 MSB")},
        {"division 0", midiFile({concat({kOneNote, kEndOfTrack})}, 0),
         boxRegex("Division of 0 ticks per quarter note, corrupt MIDI file?")},
        {"tempo 0", events({0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}),
         boxRegex("Tempo of 0 microseconds per quarter note, corrupt MIDI file?")},
        {"controller 128", events({0x00, 0xB0, 0x80, 0x05}),
         boxRegex("Controller number 128 out of range 0-127, corrupt MIDI file?")},
        {"chunk longer than the file",
         concat({header(1), {'M', 'T', 'r', 'k', 0, 0, 0, 100}, kOneNote}),
         boxRegex("Track chunk 1 is 100 bytes long but only 8 bytes are left in the file")},
        {"huge chunk length", concat({header(1), {'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF}, kOneNote}),
         boxRegex("Track chunk 1 is 4294967295 bytes long")},
        {"header cut short", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0},
         boxRegex("Unexpected end of MIDI data: 2 more bytes needed, 1 left")},
        {"note cut short", concat({header(1), chunk({0x00, 0x90, 0x3C})}),
         boxRegex("Unexpected end of MIDI data: 1 more bytes needed, 0 left")},
        {"text longer than the file", concat({header(1), chunk({0x00, 0xFF, 0x01, 0x09, 'a'})}),
         boxRegex("Unexpected end of MIDI data: 9 more bytes needed, 1 left")},
        {"event straddles the chunk end into nothing",
         concat({header(1), chunk({0x00, 0x90, 0x3C, 0x40, 0x00})}),
         boxRegex("Unexpected end of MIDI data: 1 more bytes needed, 0 left")},
    };
    for (const FatalCase& c : cases) {
        std::string path = writeMidi(c.file);
        EXPECT_EXIT(MidiFile m(path.c_str()), testing::ExitedWithCode(1), c.regex) << c.what;
    }
}

// fatalAt's box, with the event, its track and its byte offset after the location.
TEST_F(MidiDeathTest, LocationOnlyEventsEndTheProcessNamingTheEvent) {
    const char* metaRule = " in track 1 at byte 23: the reader takes text, copyright, track name, end of track, tempo, "
                           "time signature and key signature. festoonery-tool midi-import IN OUT writes a copy";
    const char* channelRule = ": the reader takes notes, controllers, aftertouch and channel pressure.";
    const struct {
        const char* what;
        Bytes events;
        std::string reason;
    } cases[] = {
        {"sequence number", {0x00, 0xFF, 0x00, 0x02, 0x00, 0x01}, std::string("Sequence number meta event (FF 00)") + metaRule},
        {"instrument", {0x00, 0xFF, 0x04, 0x01, 'x'}, std::string("Instrument name meta event (FF 04)") + metaRule},
        {"lyric", {0x00, 0xFF, 0x05, 0x01, 'x'}, std::string("Lyric meta event (FF 05)") + metaRule},
        {"marker", {0x00, 0xFF, 0x06, 0x01, 'x'}, std::string("Marker meta event (FF 06)") + metaRule},
        {"cue point", {0x00, 0xFF, 0x07, 0x01, 'x'}, std::string("Cue point meta event (FF 07)") + metaRule},
        {"channel prefix", {0x00, 0xFF, 0x20, 0x01, 0x00}, std::string("Channel prefix meta event (FF 20)") + metaRule},
        {"SMPTE offset", {0x00, 0xFF, 0x54, 0x05, 0, 0, 0, 0, 0}, std::string("SMPTE offset meta event (FF 54)") + metaRule},
        {"sequencer specific", {0x00, 0xFF, 0x7F, 0x01, 0x00}, std::string("Sequencer-specific meta event (FF 7F)") + metaRule},
        {"program change", {0x00, 0xC0, 0x05}, std::string("Program change (status C0) in track 1 at byte 23") + channelRule},
        {"pitch bend", {0x00, 0xE0, 0x00, 0x40}, std::string("Pitch bend (status E0) in track 1 at byte 23") + channelRule},
        {"program change after a note", concat({kOneNote, {0x00, 0xC3, 0x05}}),
         std::string("Program change (status C3) in track 1 at byte 31") + channelRule},
    };
    for (const auto& c : cases) {
        std::string path = writeMidi(midiFile({concat({c.events, kEndOfTrack})}));
        EXPECT_EXIT(MidiFile m(path.c_str()), testing::ExitedWithCode(1), kLocationOnly + regexEscape("\n\n" + c.reason))
            << c.what;
    }
    // The track counts chunks from 1, the byte is the file offset of the event.
    std::string second = writeMidi(midiFile({concat({kOneNote, kEndOfTrack}), concat({kOneNote, {0x05, 0xC1, 0x00}, kEndOfTrack})}));
    EXPECT_EXIT(MidiFile m(second.c_str()), testing::ExitedWithCode(1),
                kLocationOnly + regexEscape("\n\nProgram change (status C1) in track 2 at byte 51"));
}

TEST_F(MidiDeathTest, DeltaTimeOfFourBytesIsAcceptedAndFiveAreNot) {
    // 81 80 80 00 = 2^21 ticks: accepted, the note lands at beat 2^21 / 96.
    auto midi = load(midiFile({concat({{0x81, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}, kEndOfTrack})}));
    ASSERT_EQ(1u, midi->tracks.size());
    EXPECT_FLOAT_EQ(2097152.0f / 96.0f, midi->tracks[0].notes[0].times[0]);
    const Bytes five = {0x81, 0x80, 0x80, 0x80, 0x00};
    EXPECT_EXIT(
        {
            const uint8_t* cursor = five.data();
            readVarLen(&cursor, five.data() + five.size());
        },
        testing::ExitedWithCode(1), boxRegex("Found 4 bytes of delta time without a 0 MSB"));
}

TEST_F(MidiDeathTest, NullCursorsAndMissingFile) {
    EXPECT_EXIT(readBigEndian(2, nullptr, nullptr), testing::ExitedWithCode(1),
                boxRegex("NULL-buffer specified"));
    const uint8_t* none = nullptr;
    EXPECT_EXIT(readVarLen(&none, nullptr), testing::ExitedWithCode(1),
                boxRegex("NULL-buffer specified"));
    EXPECT_EXIT(MidiFile m("data/common/music/no_such_file.mid"), testing::ExitedWithCode(1),
                boxRegex("Failed to open file data/common/music/no_such_file.mid"));
    // A folder, a pipe or a device is refused when it is opened: never read, never waited on.
    std::string dir = testpaths::freshScratchDir("midi_test_dir");
    ASSERT_EQ(0, mkfifo((dir + "/pipe.mid").c_str(), 0600));
    for (const std::string& path : {dir, dir + "/pipe.mid", std::string("/dev/zero")}) {
        EXPECT_EXIT(MidiFile m(path.c_str()), testing::ExitedWithCode(1), boxRegex("Failed to open file " + path));
    }
}

TEST_F(MidiDeathTest, EveryTruncationOfAValidFileIsRefusedInOrder) {
    const Bytes full = midiFile({concat({trackName("Lead"), {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                                         kOneNote, kEndOfTrack})});
    load(full);  // the whole file is fine
    for (size_t size = 0; size < full.size(); ++size) {
        Bytes cut(full.begin(), full.begin() + long(size));
        EXPECT_EXIT(MidiFile m("cut", cut.data(), cut.size()), testing::ExitedWithCode(1),
                    "\\[box\\] Error in file src/util/music/midi\\.cpp")
            << "first " << size << " bytes";
    }
}

}  // namespace
