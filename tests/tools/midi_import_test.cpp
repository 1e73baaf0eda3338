#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "import/midi_import.h"
#include "util/music/midi.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes chunk(const char* kind, const Bytes& body) {
    uint32_t n = uint32_t(body.size());
    Bytes out = {uint8_t(kind[0]), uint8_t(kind[1]), uint8_t(kind[2]), uint8_t(kind[3]),
                 uint8_t(n >> 24),  uint8_t(n >> 16),  uint8_t(n >> 8),   uint8_t(n)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes file(uint16_t division, std::initializer_list<Bytes> chunks, int tracks = -1, uint16_t format = 1) {
    uint16_t n = uint16_t(tracks >= 0 ? tracks : int(chunks.size()));
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, uint8_t(format >> 8), uint8_t(format), uint8_t(n >> 8), uint8_t(n),
                 uint8_t(division >> 8), uint8_t(division)};
    for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
}

// A meta event at delta 0 (length below 128).
Bytes meta(uint8_t type, const std::string& data) {
    Bytes out = {0x00, 0xFF, type, uint8_t(data.size())};
    for (char c : data) out.push_back(uint8_t(c));
    return out;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

// What the engine's reader makes of a file image, its log held back.
struct Read {
    std::unique_ptr<MidiFile> midi;
    explicit Read(const Bytes& bytes) {
        testing::internal::CaptureStdout();
        midi = std::make_unique<MidiFile>("import", bytes.data(), bytes.size());
        testing::internal::GetCapturedStdout();
    }
};

void expectSameTracks(const MidiFile& expected, const MidiFile& actual) {
    ASSERT_EQ(expected.tracks.size(), actual.tracks.size());
    for (size_t t = 0; t < expected.tracks.size(); ++t) {
        const MidiTrack& e = expected.tracks[t];
        const MidiTrack& a = actual.tracks[t];
        EXPECT_STREQ(e.name, a.name) << "track " << t;
        EXPECT_EQ(e.noteEvents, a.noteEvents) << "track " << t;
        ASSERT_EQ(e.notes.size(), a.notes.size()) << "track " << t;
        for (size_t n = 0; n < e.notes.size(); ++n) {
            EXPECT_EQ(e.notes[n].note, a.notes[n].note) << "track " << t;
            EXPECT_EQ(e.notes[n].times, a.notes[n].times) << "track " << t << " note " << int(e.notes[n].note);
            EXPECT_EQ(e.notes[n].velocities, a.notes[n].velocities) << "track " << t;
        }
        for (int c = 0; c < 128; ++c) {
            EXPECT_EQ(e.controllers[c].times, a.controllers[c].times) << "track " << t << " controller " << c;
            EXPECT_EQ(e.controllers[c].values, a.controllers[c].values) << "track " << t << " controller " << c;
        }
        EXPECT_EQ(e.volume, a.volume) << "track " << t;
    }
}

TEST(MidiImport, EveryDroppedKindIsCountedAndTheReaderGetsTheSameNotes) {
    const Bytes conductor = cat({meta(0x03, "Tempo"), meta(0x01, "first"), meta(0x02, "(c) A"),
                                 {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8},
                                 {0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01}, {0x00, 0xFF, 0x54, 0x05, 0, 0, 0, 0, 0},
                                 {0x00, 0xFF, 0x00, 0x02, 0x00, 0x01}, meta(0x06, "Verse"), meta(0x01, "second"),
                                 {0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41}, kEnd});
    // Running status goes on across the meta and SysEx events in between.
    const Bytes band = cat({{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, meta(0x03, ""), {0x00, 0xC0, 0x05},
                            {0x0A, 0x90, 0x3C, 0x40}, {0x00, 0x3E, 0x41}, {0x05, 0xE0, 0x00, 0x40}, {0x01, 0x00, 0x41},
                            {0x14, 0x80, 0x3C, 0x00}, {0x00, 0x90, 0x40, 0x30}, meta(0x05, "la"), {0x03, 0x40, 0x00},
                            {0x02, 0xB0, 0x01, 0x40}, {0x00, 0x07, 0x64}, {0x01, 0xA0, 0x3C, 0x10}, {0x01, 0xD0, 0x20},
                            {0x00, 0xF7, 0x01, 0xF7}, meta(0x02, "(c) B"), meta(0x09, "Synth"), meta(0x21, "\x01"),
                            meta(0x20, "\x02"), {0x81, 0x00, 0x90, 0x3E, 0x00}, kEnd, {0x01, 0x90, 0x41, 0x20}});
    const Bytes lead = cat({meta(0x03, "Lead"), meta(0x03, "Again"), {0x60, 0x91, 0x30, 0x50}, {0x60, 0x81, 0x30, 0x00}});
    const Bytes input = file(480, {chunk("MTrk", conductor), chunk("XFIH", {1, 2, 3}), chunk("MTrk", band),
                                   chunk("MTrk", lead)});

    midiimport::Result r = midiimport::importMidi(input.data(), input.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(1, r.format);
    EXPECT_EQ(480, r.division);
    EXPECT_EQ(3, r.tracks);
    EXPECT_EQ(std::vector<std::string>{"Track 2"}, r.namedTracks);
    const std::map<std::string, size_t> dropped = {
        {"SysEx", 1}, {"SysEx continuation (F7)", 1}, {"program change", 1}, {"pitch bend", 2},
        {"empty track name", 1}, {"second track name", 1}, {"second text", 1}, {"second copyright", 1},
        {"SMPTE offset", 1}, {"sequence number", 1}, {"marker", 1}, {"lyric", 1}, {"sequencer-specific", 1},
        {"device name", 1}, {"MIDI port", 1}, {"channel prefix", 1}, {"chunk \"XFIH\"", 1},
    };
    EXPECT_EQ(dropped, (std::map<std::string, size_t>(r.dropped.begin(), r.dropped.end())));
    EXPECT_EQ("pitch bend", r.dropped[0].first);  // the most frequent first

    // The same file written by hand with nothing the reader refuses, every event at its tick.
    const Bytes clean = file(480, {chunk("MTrk", cat({meta(0x03, "Tempo"), meta(0x01, "first"), meta(0x02, "(c) A"),
                                                      {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                                                      {0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8},
                                                      {0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01}, kEnd})),
                                   chunk("MTrk", cat({meta(0x03, "Track 2"), {0x0A, 0x90, 0x3C, 0x40},
                                                      {0x00, 0x90, 0x3E, 0x41}, {0x1A, 0x80, 0x3C, 0x00},
                                                      {0x00, 0x90, 0x40, 0x30}, {0x03, 0x90, 0x40, 0x00},
                                                      {0x02, 0xB0, 0x01, 0x40}, {0x00, 0xB0, 0x07, 0x64},
                                                      {0x01, 0xA0, 0x3C, 0x10}, {0x01, 0xD0, 0x20},
                                                      {0x81, 0x00, 0x90, 0x3E, 0x00}, {0x01, 0x90, 0x41, 0x20}, kEnd})),
                                   chunk("MTrk", cat({meta(0x03, "Lead"), {0x60, 0x91, 0x30, 0x50},
                                                      {0x60, 0x81, 0x30, 0x00}, kEnd}))});
    Read expected(clean), imported(r.output);
    expectSameTracks(*expected.midi, *imported.midi);
    EXPECT_STREQ("first", imported.midi->text);
    EXPECT_STREQ("(c) A", imported.midi->copyright);
    EXPECT_FLOAT_EQ(120.0f, imported.midi->bpm);
    EXPECT_EQ(6, imported.midi->timeSigNumerator);
    EXPECT_EQ(8, imported.midi->timeSigDenominator);
    EXPECT_EQ(-3, imported.midi->keySignature);
    EXPECT_TRUE(imported.midi->minorKey);

    // What was written imports to itself.
    midiimport::Result again = midiimport::importMidi(r.output.data(), r.output.size());
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(r.output, again.output);
    EXPECT_TRUE(again.dropped.empty());
}

TEST(MidiImport, WrappersLongTextsAndFormatZero) {
    const Bytes smf = file(96, {chunk("MTrk", cat({{0x00, 0xFF, 0x01, 0x81, 0x48}, Bytes(200, 'x'), {0x00, 0x90, 0x3C, 0x40},
                                                   {0x60, 0x3C, 0x00}, kEnd}))}, -1, 0);
    uint32_t n = uint32_t(smf.size());
    Bytes rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'L', 'I', 'S', 'T', 2, 0, 0, 0, 'a', 'b',
                  'd', 'a', 't', 'a', uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    rmid.insert(rmid.end(), smf.begin(), smf.end());
    midiimport::Result plain = midiimport::importMidi(smf.data(), smf.size());
    midiimport::Result wrapped = midiimport::importMidi(rmid.data(), rmid.size());
    ASSERT_TRUE(plain.ok) << plain.error;
    ASSERT_TRUE(wrapped.ok) << wrapped.error;
    EXPECT_EQ(plain.output, wrapped.output);
    EXPECT_EQ(0, plain.format);
    Read read(plain.output);
    EXPECT_EQ(std::string(127, 'x'), read.midi->text);
    ASSERT_EQ(1u, read.midi->tracks.size());
    EXPECT_STREQ("Track 1", read.midi->tracks[0].name);
    EXPECT_EQ((std::vector<float>{0.0f, -1.0f}), read.midi->tracks[0].notes[0].times);
}

TEST(MidiImport, RefusalsSayWhy) {
    const Bytes note = {0x00, 0x90, 0x3C, 0x40};
    const struct {
        const char* what;
        Bytes input;
        std::string reason;
    } cases[] = {
        {"empty", {}, "It is empty; a standard MIDI file starts with \"MThd\"."},
        {"a PNG", {0x89, 'P', 'N', 'G', 13, 10, 26, 10},
         "It is not a standard MIDI file: it starts with 89 50 4E 47 (\"?PNG\") where \"MThd\" belongs."},
        {"a WAVE file", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
         "It is a RIFF file of kind \"WAVE\", not a MIDI file."},
        {"RMID without data", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'},
         "It is a RIFF MIDI (RMID) file without a \"data\" chunk."},
        {"header length 5", {'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0, 96},
         "The header chunk's length is 5; it is 6 (or more) and lies within the file."},
        {"format 3", file(96, {chunk("MTrk", kEnd)}, -1, 3), "MIDI file format 3 is unknown"},
        {"division 0", file(0, {chunk("MTrk", kEnd)}), "The header gives 0 ticks per quarter note."},
        {"data byte first", file(96, {chunk("MTrk", {0x00, 0x3C, 0x40})}),
         "The data byte 3C in track 1 at byte 23 has no status byte before it in its track."},
        {"status F4", file(96, {chunk("MTrk", cat({note, {0x00, 0xF4}}))}),
         "The status byte F4 in track 1 at byte 27 is no event of a MIDI file"},
        {"event past the chunk", file(96, {chunk("MTrk", {0x00, 0x90, 0x3C})}),
         "An event in track 1 at byte 24 runs past the end of its track chunk (byte 25)."},
        {"chunk past the file",
         [&] {
             Bytes whole = file(96, {chunk("MTrk", cat({note, kEnd}))});
             whole.pop_back();
             return whole;
         }(),
         "The chunk at byte 14 is 8 bytes long, but only 7 bytes follow it (truncated file?)."},
        {"five-byte delta", file(96, {chunk("MTrk", {0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40})}),
         "A variable-length number in track 1 at byte 22 is longer than four bytes."},
        {"gap beyond a delta time", file(96, {chunk("MTrk", cat({note, {0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x01},
                                                                 {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x3C, 0x00}}))}),
         "Track 1 has a gap of 536870910 ticks between two kept events; a delta time holds at most 268435455."},
    };
    for (const auto& c : cases) {
        midiimport::Result r = midiimport::importMidi(c.input.data(), c.input.size());
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_TRUE(r.output.empty()) << c.what;
        EXPECT_EQ(0u, r.error.find(c.reason)) << c.what << ": " << r.error;
    }
}

TEST(MidiImport, HighBitDataBytesAreReadWithTheBitCleared) {
    const struct {
        const char* what;
        Bytes events;    // of track 1, before its end
        Bytes expected;  // the events the engine reads, in the same form
        const char* note;
    } cases[] = {
        {"a velocity of CC", {0x00, 0x90, 0x3C, 0xCC, 0x60, 0x80, 0x3C, 0x40}, {0x00, 0x90, 0x3C, 0x4C, 0x60, 0x80, 0x3C, 0x40},
         "A data byte had its high bit set and was read with it cleared: CC, the velocity of the event 90 in "
         "track 1 at byte 23, read as 4C."},
        {"a controller and running status", {0x00, 0xB0, 0x87, 0x10, 0x10, 0x07, 0xFF},
         {0x00, 0xB0, 0x07, 0x10, 0x10, 0xB0, 0x07, 0x7F},
         "2 data bytes had their high bit set and were read with it cleared; the first: 87, the controller of "
         "the event B0 in track 1 at byte 23, read as 07."},
    };
    for (const auto& c : cases) {
        const Bytes input = file(96, {chunk("MTrk", cat({c.events, kEnd}))});
        midiimport::Result r = midiimport::importMidi(input.data(), input.size());
        ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
        EXPECT_EQ((std::vector<std::string>{c.note}), r.notes) << c.what;
        Read read(r.output);
        Read expected(file(96, {chunk("MTrk", cat({meta(0x03, "Track 1"), c.expected, kEnd}))}));
        expectSameTracks(*expected.midi, *read.midi);
    }
}

}  // namespace
