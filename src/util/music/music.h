// The soundtrack and the one clock of the production: beats (quarter notes) from the
// stream's playback position and the composition's MIDI tempo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/bass.h"

class MidiFile;
class Modulator;

class Music {
public:
    // Loads "data/common/music/Festoonery.xml" (or a music file named directly).
    Music();
    // Loads from another path; the extension rules are the same (tools and tests).
    explicit Music(const char* path);

    void loadStream(const char* path);
    void loadMidi(const char* path);
    void loadSync();
    void play();
    float beat();
    void update();
    void sampleData(float* buffer);

    // A deliberate seek (development mode): the stream to the beat, clamped to the
    // stream, rounded down to a sample frame. The beat clock takes the new position as
    // its last one, so a seek backwards is not counted as a restart of the music.
    // Returns the beat now reported.
    float seekBeat(float beat);
    // The beat at the stream's last frame.
    float endBeat() const;
    // Reads the sync description again: tempo, MIDI data and modulators; the soundtrack
    // stream is kept unless the description names another file, which then continues at
    // the same position, playing or not as the old one was. The beat clock follows a new
    // tempo at the same position in seconds. Any error (a description that does not
    // parse or names an unknown track, a MIDI or music file that is missing or does not
    // read) keeps everything as it was, logs one line with the reason and returns false;
    // start-up's loading stays fatal. The previous MidiFile is not deleted: pointers into
    // its tracks stay valid (they see the old data until taken again from `midi`).
    bool reloadSync();
    // Counts the reloads that replaced `midi`: a holder of pointers into it takes them
    // again when this has changed.
    int syncGeneration = 0;

    MidiFile* midi = nullptr;
    float bpm = 999.0f;
    float beatOffset = 0.0f;
    float beatHistory[10] = {};
    float beatAdvance = 0.0f;
    int32_t positionHistory[10] = {};
    int32_t bytesAdvance = 0;
    HSTREAM stream = 0;
    uint32_t lengthSeconds = 0;
    uint64_t lengthBytes = 0;

private:
    // A soundtrack stream opened from a file read wholly into memory (image), or
    // stream 0 when the audio library refused the file.
    struct OpenedStream {
        HSTREAM stream = 0;
        void* image = nullptr;
        uint64_t lengthBytes = 0;
        uint32_t lengthSeconds = 0;
    };
    static OpenedStream openStream(const char* path);
    void construct(const char* path);
    // Files replaced by reloads; kept so that pointers into them stay valid.
    std::vector<MidiFile*> retiredMidi_;
    const char* syncPath_ = nullptr;
    std::string streamPath_;  // the soundtrack file loadStream read
    // The music file's bytes the stream was made from: an audio library may read them
    // while it plays, so they are kept (and never freed) as long as the object lives.
    void* streamImage_ = nullptr;
};

// Process-wide beat state shared by every beat computation (Music::beat and the
// Fireworks scene's own beat): the wrap compensation for a position that jumps back.
struct BeatWrapState {
    float lastRawBeat;
    float wrapBeats;
};
BeatWrapState& beatWrapState();

// The beat computation on a position in seconds: raw = seconds / 60 * bpm + offset,
// with the wrap compensation; advances the shared state.
float beatFromSeconds(double seconds, float bpm, float beatOffset);

// Reads one controller template into a modulator's range arrays.
void loadTemplate(const char* path, Modulator* modulator);
