// The composition's standard MIDI file: tempo, signatures, and per track every note
// number's on and off times and every controller's value changes, all in beats
// (quarter notes: accumulated delta ticks / ticks per quarter note). The tempo does not
// enter the times; it only gives bpm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "util/music/modulators/modulator.h"

struct ControllerLane {
    std::vector<float> times;  // beats
    std::vector<uint8_t> values;
};

struct MidiNote {
    uint8_t note = 0;
    char name[7] = {};  // noteName(note)
    // A note-on at beat t is stored as +t, a note-off as -t; ons and offs alternate.
    std::vector<float> times;
    std::vector<uint8_t> velocities;  // note-on velocity, 0 for a note-off
};

struct MidiTrack {
    MidiTrack() = default;
    ~MidiTrack();
    MidiTrack(MidiTrack&& other) noexcept;
    MidiTrack& operator=(MidiTrack&& other) noexcept;
    MidiTrack(const MidiTrack&) = delete;
    MidiTrack& operator=(const MidiTrack&) = delete;

    char* name = nullptr;  // malloc'd text of the track-name event, null when none
    int32_t noteEvents = 0;  // note-on and note-off events read, ignored repeats included
    std::vector<MidiNote> notes;  // one per note number, in order of first appearance
    ControllerLane controllers[128];  // by controller number (7 and 10 are not kept here)
    float volume = 0.78125f;  // raw value (0..127) of the last controller 7 event
    float pan = 0.5f;         // raw value (0..127) of the last controller 10 event
    std::vector<std::unique_ptr<Modulator>> modulators;  // attached by the sync description
};

class MidiFile {
public:
    // Reads the file through the data layer; every error ends the process.
    explicit MidiFile(const char* path);
    // Parses a file image already in memory (tools and fuzzing); label names it in the log.
    MidiFile(const char* label, const uint8_t* image, size_t size);
    ~MidiFile();
    MidiFile(const MidiFile&) = delete;
    MidiFile& operator=(const MidiFile&) = delete;

    std::vector<MidiTrack> tracks;  // tracks with at least one note event, in file order
    char* copyright = nullptr;      // malloc'd
    char* text = nullptr;           // malloc'd
    float bpm = 120.0f;             // quarter notes per minute, two decimals
    uint8_t timeSigNumerator = 4;
    uint8_t timeSigDenominator = 4;  // the power of two itself
    uint8_t clocksPerClick = 24;
    uint8_t thirtySecondsPerQuarter = 8;
    int8_t keySignature = 0;  // sharps (positive) or flats (negative)
    bool minorKey = false;

private:
    // Frees copyright and text also when parsing ends in a fatal error that unwinds (the
    // fuzz harness's fatal hook throws, and a constructor that throws runs no destructor).
    struct TextOwner {
        MidiFile* file;
        ~TextOwner();
    } textOwner_{this};

    MidiFile() = default;
    // Where the event being read lies, for refusals: "in track T at byte B" (T counts
    // the track chunks from 1, B is the file offset of the event's status byte or, under
    // running status, of its first data byte).
    const char* eventLocation();
    void parse(const uint8_t* image, size_t size);
    void readEvent(MidiTrack& track, const uint8_t** cursor, const uint8_t* end, uint8_t& status,
                   float t);
    void readMetaEvent(MidiTrack& track, const uint8_t** cursor, const uint8_t* end);

    const uint8_t* image_ = nullptr;  // the file image being parsed
    const uint8_t* event_ = nullptr;  // the event being read
    uint32_t chunkNumber_ = 0;        // from 1
    char location_[64] = {};
};

// The reader's primitives. Each reads at *cursor, never at or past end, and advances
// *cursor; data that runs past end, or a null cursor, ends the process.

// Unsigned big-endian integer of n bytes (1 to 4).
uint32_t readBigEndian(int n, const uint8_t** cursor, const uint8_t* end);
// Variable-length quantity: 7 bits per byte, most significant first, at most four bytes.
uint32_t readVarLen(const uint8_t** cursor, const uint8_t* end);
// The text of a meta event; *cursor is at the meta type byte, the next byte is the
// length. Fails (logging why) when *destination already holds a text, for a length of
// 0, or when out of memory. The text is copied up to its first zero byte.
bool readMetaText(char** destination, const uint8_t** cursor, const uint8_t* end);

// "C5" for note 60: pitch class name and note / 12.
void noteName(uint8_t note, char out[7]);
// floor(x * 100 + 0.5) / 100.
float roundTo2(float x);
