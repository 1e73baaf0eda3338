#include "util/music/music.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "util/data/data.h"

namespace {

const char* const kSyncPath = "data/common/music/Festoonery.xml";

}  // namespace

BeatWrapState& beatWrapState() {
    static BeatWrapState state{0.0f, 0.0f};
    return state;
}

float beatFromSeconds(double seconds, float bpm, float beatOffset) {
    BeatWrapState& state = beatWrapState();
    double raw = seconds * 0.016666666666666666 * bpm + beatOffset;
    // A jump back of more than one beat (a restart) continues upward from the last beat.
    if (state.lastRawBeat > raw + 1.0) state.wrapBeats = state.wrapBeats + state.lastRawBeat;
    state.lastRawBeat = float(raw);
    return float(raw + state.wrapBeats);
}

Music::Music() { construct(kSyncPath); }

Music::Music(const char* path) { construct(path); }

void Music::construct(const char* path) {
    midi = nullptr;
    bpm = 999.0f;
    beatOffset = 0.0f;
    syncPath_ = path;
    // The extension is the last four characters, case included; a shorter path is its
    // own extension.
    size_t length = strlen(path);
    const char* extension = length >= 4 ? path + length - 4 : path;
    if (strcmp(extension, ".mp3") == 0 || strcmp(extension, ".ogg") == 0) {
        loadStream(path);
    } else if (strcmp(extension, ".xml") == 0) {
        loadSync();
    } else {
        FATAL("Music format %s not supported", extension);
    }
}

void Music::loadStream(const char* path) {
    if ((BASS_GetVersion() >> 16) != BASSVERSION) FATAL("An incorrect version of BASS was loaded");
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) FATAL("Can't initialize device");

    streamPath_ = path;
    OpenedStream opened = openStream(path);
    streamImage_ = opened.image;
    stream = opened.stream;
    if (stream == 0) return;  // shows as "Failed to start the music!" in play()
    lengthBytes = opened.lengthBytes;
    lengthSeconds = opened.lengthSeconds;
}

Music::OpenedStream Music::openStream(const char* path) {
    OpenedStream opened;
    FILE* file = dataOpen(path, "rb");
    if (!file) FATAL("Failed to open %s", path);
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    rewind(file);
    // The image stays allocated as long as the stream made from it.
    // A failed tell (-1) asks for an impossible size and fails here.
    void* image = size < 0 ? nullptr : malloc(size_t(size) + 1);
    if (!image) {
        fclose(file);
        FATAL("Failed to allocate memory for music stream!");
    }
    if (fread(image, size_t(size), 1, file) == 0) {
        fclose(file);
        free(image);
        FATAL("Failed to read music data from %s!", path);
    }
    fclose(file);
    opened.image = image;

    opened.stream = BASS_StreamCreateFile(TRUE, image, 0, QWORD(size),
                                          BASS_SAMPLE_LOOP | BASS_STREAM_PRESCAN | BASS_STREAM_AUTOFREE);
    if (opened.stream == 0) return opened;

    opened.lengthBytes = BASS_ChannelGetLength(opened.stream, BASS_POS_BYTE);
    logLine("streaming file [%" PRIu64 " bytes]", opened.lengthBytes);
    if (opened.lengthBytes != ~uint64_t(0)) {
        opened.lengthSeconds = uint32_t(BASS_ChannelBytes2Seconds(opened.stream, opened.lengthBytes));
        printf(" %u:%02u\n", opened.lengthSeconds / 60, opened.lengthSeconds % 60);
    } else {
        printf("\n");
    }
    return opened;
}

void Music::play() {
    for (int i = 0; i < 10; ++i) {
        beatHistory[i] = beatOffset;
        positionHistory[i] = 0;
    }
    beatAdvance = 0.0f;
    bytesAdvance = 0;
    BASS_ChannelFlags(stream, 0, BASS_SAMPLE_LOOP);
    BASS_ChannelPlay(stream, FALSE);
    if (BASS_ChannelIsActive(stream) != BASS_ACTIVE_PLAYING) FATAL("Failed to start the music!");
}

float Music::beat() {
    double seconds = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
    return beatFromSeconds(seconds, bpm, beatOffset);
}

float Music::seekBeat(float target) {
    double seconds = (double(target) - beatOffset) * 60.0 / bpm;
    if (!(seconds > 0.0)) seconds = 0.0;
    double length = BASS_ChannelBytes2Seconds(stream, lengthBytes);
    if (length >= 0.0 && seconds > length) seconds = length;
    QWORD frame = QWORD(seconds * 44100.0);
    BASS_ChannelSetPosition(stream, frame * 4, BASS_POS_BYTE);
    double at = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
    beatWrapState() = BeatWrapState{float(at * 0.016666666666666666 * bpm + beatOffset), 0.0f};
    return beat();
}

float Music::endBeat() const {
    double seconds = BASS_ChannelBytes2Seconds(stream, lengthBytes);
    return float(seconds * 0.016666666666666666 * bpm + beatOffset);
}

void Music::update() {
    float oldestBeat = beatHistory[0];
    int32_t oldestPosition = positionHistory[0];
    for (int i = 0; i < 9; ++i) {
        beatHistory[i] = beatHistory[i + 1];
        positionHistory[i] = positionHistory[i + 1];
    }
    beatHistory[9] = beat();
    positionHistory[9] = int32_t(uint32_t(BASS_ChannelGetPosition(stream, BASS_POS_BYTE)));

    // The ten successive differences over the window, summed one by one as the averages
    // were always computed (float rounding and 32-bit wrap included).
    float beatSum = beatHistory[0] - oldestBeat;
    uint32_t bytesSum = uint32_t(positionHistory[0]) - uint32_t(oldestPosition);
    for (int i = 1; i < 10; ++i) {
        beatSum += beatHistory[i] - beatHistory[i - 1];
        bytesSum += uint32_t(positionHistory[i]) - uint32_t(positionHistory[i - 1]);
    }
    beatAdvance = beatSum * 0.1f;
    bytesAdvance = int32_t(bytesSum) / 10;
}

void Music::sampleData(float* buffer) {
    if (!buffer) FATAL("Invalid buffer");
    BASS_ChannelGetData(stream, buffer, BASS_DATA_FLOAT | 4096);
}
