// Turns any standard MIDI file (formats 0, 1 and 2, running status, SysEx, every meta
// event, alien chunks, an RMID wrapper) into one the engine's MIDI reader takes: note
// on/off, control change, polyphonic aftertouch and channel pressure; the first text and
// the first copyright event of the file; one track name per track (tracks without a
// non-empty one get "Track N", N counting the track chunks from 1); tempo, time and key
// signatures; one end of track closing each track. Everything else is dropped and
// counted. Ticks per quarter note and the tick of every kept event stay as they were.
//
// The written file is also a standard MIDI file: every event carries its status byte
// (no running status, which the engine would carry across meta events) and every meta
// length fits in one byte below 128, where the engine's one-byte length and the
// standard's variable-length quantity agree; longer texts are shortened to 127 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace midiimport {

struct Result {
    bool ok = false;
    std::string error;            // why the input was refused (when !ok), one sentence
    std::vector<uint8_t> output;  // the file the engine's reader takes (when ok)

    int format = 0;
    uint16_t division = 0;                  // ticks per quarter note, as in the input
    int tracks = 0;                         // track chunks read and written
    size_t eventsRead = 0;                  // every event of every track
    size_t eventsKept = 0;                  // written, end of track and added names not counted
    std::vector<std::pair<std::string, size_t>> dropped;  // kind, count; most frequent first
    std::vector<std::string> namedTracks;   // names given to tracks that had none
    std::vector<std::string> notes;         // other changes worth telling (one sentence each)
};

Result importMidi(const uint8_t* data, size_t size);

}  // namespace midiimport
