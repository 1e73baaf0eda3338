#include "util/music/midi.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "util/data/data.h"

namespace {

// Every read stays inside the file image: a file that ends in the middle of an event
// or a header is refused here instead of being read past its end.
void needBytes(const uint8_t* cursor, const uint8_t* end, size_t count) {
    if (cursor > end || size_t(end - cursor) < count) {
        FATAL("Unexpected end of MIDI data: %i more bytes needed, %i left. Truncated MIDI file?",
              int(count), cursor > end ? 0 : int(end - cursor));
    }
}

uint8_t readByte(const uint8_t** cursor, const uint8_t* end) {
    needBytes(*cursor, end, 1);
    return *(*cursor)++;
}

// Follows every refusal of an event the reader does not take.
const char* const kImportHint =
    "festoonery-tool midi-import IN OUT writes a copy of the file without the events the reader does not take.";

const char* metaName(uint8_t type) {
    switch (type) {
        case 0x00: return "Sequence number";
        case 0x04: return "Instrument name";
        case 0x05: return "Lyric";
        case 0x06: return "Marker";
        case 0x07: return "Cue point";
        case 0x08: return "Program name";
        case 0x09: return "Device name";
        case 0x20: return "Channel prefix";
        case 0x21: return "MIDI port";
        case 0x54: return "SMPTE offset";
        case 0x7F: return "Sequencer-specific";
        default: return type >= 0x01 && type <= 0x0F ? "Text-like" : "Unknown";
    }
}

void noteEvent(MidiTrack& track, uint8_t note, uint8_t velocity, float t) {
    ++track.noteEvents;
    MidiNote* entry = nullptr;
    for (MidiNote& n : track.notes) {
        if (n.note == note) {
            entry = &n;
            break;
        }
    }
    if (!entry) {
        track.notes.emplace_back();
        entry = &track.notes.back();
        entry->note = note;
        noteName(note, entry->name);
    }
    bool known = !entry->times.empty();
    if (velocity == 0) {
        if (known && entry->times.back() < 0.0f) return;  // already off
        entry->times.push_back(-t);
        entry->velocities.push_back(0);
    } else {
        if (known && entry->times.back() >= 0.0f) return;  // already on
        entry->times.push_back(t);
        entry->velocities.push_back(velocity);
    }
}

}  // namespace

MidiTrack::~MidiTrack() { free(name); }

MidiTrack::MidiTrack(MidiTrack&& other) noexcept { *this = std::move(other); }

MidiTrack& MidiTrack::operator=(MidiTrack&& other) noexcept {
    if (this == &other) return *this;
    free(name);
    name = other.name;
    other.name = nullptr;
    noteEvents = other.noteEvents;
    notes = std::move(other.notes);
    for (int i = 0; i < 128; ++i) controllers[i] = std::move(other.controllers[i]);
    volume = other.volume;
    pan = other.pan;
    modulators = std::move(other.modulators);
    return *this;
}

uint32_t readBigEndian(int n, const uint8_t** cursor, const uint8_t* end) {
    if (!cursor || !*cursor) FATAL("NULL-buffer specified");
    needBytes(*cursor, end, size_t(n));
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) value = (value << 8) | (*cursor)[i];
    *cursor += n;
    return value;
}

uint32_t readVarLen(const uint8_t** cursor, const uint8_t* end) {
    if (!cursor || !*cursor) FATAL("NULL-buffer specified");
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = readByte(cursor, end);
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return value;
    }
    FATAL("Found 4 bytes of delta time without a 0 MSB");
}

bool readMetaText(char** destination, const uint8_t** cursor, const uint8_t* end) {
    if (!cursor || !*cursor) FATAL("NULL-buffer specified");
    if (*destination) {
        logLine("dst buffer not empty!\n");
        return false;
    }
    ++*cursor;  // the meta type
    uint8_t length = readByte(cursor, end);
    if (length == 0) {
        logLine("Text length zero\n");
        return false;
    }
    needBytes(*cursor, end, length);
    char* text = static_cast<char*>(malloc(size_t(length) + 1));
    if (!text) {
        logLine("Out of memory allocating string!\n");
        return false;
    }
    strncpy(text, reinterpret_cast<const char*>(*cursor), length);
    text[length] = '\0';
    *cursor += length;
    *destination = text;
    return true;
}

void noteName(uint8_t note, char out[7]) {
    static const char* const kFormats[12] = {"C%i",  "C#%i", "D%i",  "D#%i", "E%i",  "F%i",
                                             "F#%i", "G%i",  "G#%i", "A%i",  "A#%i", "B%i"};
    snprintf(out, 7, kFormats[note % 12], note / 12);
}

float roundTo2(float x) { return float(floor(double(x) * 100.0 + 0.5) / 100.0); }

MidiFile::MidiFile(const char* path) {
    FILE* file = dataOpen(path, "rb");
    if (!file) FATAL("Failed to open file %s", path);
    // Sizes are logged and parsed as signed 32-bit: a larger file is refused unread.
    if (fseek(file, 0, SEEK_END) == 0 && ftell(file) > long(INT32_MAX)) {
        fclose(file);
        FATAL("MIDI file %s is larger than %d bytes", path, INT32_MAX);
    }
    rewind(file);
    // Read to the end rather than trusting the stream's size: a directory opens, but its
    // size is meaningless and reading it fails. One spare byte keeps a zero after the data.
    size_t size = 0, capacity = 4096;
    uint8_t* image = static_cast<uint8_t*>(malloc(capacity + 1));
    if (!image) FATAL("Failed to allocate memory for MIDI file %s", path);
    size_t got;
    while ((got = fread(image + size, 1, capacity - size, file)) > 0) {
        size += got;
        if (size < capacity) continue;
        // A file that grows while it is read stops at the same size.
        if (capacity > size_t(INT32_MAX) / 2) {
            fclose(file);
            free(image);
            FATAL("MIDI file %s is larger than %d bytes", path, INT32_MAX);
        }
        capacity *= 2;
        uint8_t* grown = static_cast<uint8_t*>(realloc(image, capacity + 1));
        if (!grown) FATAL("Failed to allocate memory for MIDI file %s", path);
        image = grown;
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) FATAL("Failed to read MIDI file %s", path);
    image[size] = 0;
    logLine("Loading MIDI file %s, %i bytes long\n", path, int(size));
    // Released also when parsing ends in a fatal error that unwinds.
    std::unique_ptr<uint8_t, void (*)(void*)> owned(image, free);
    parse(image, size);
}

// Delegates to the empty object first, so that a fatal-error hook that unwinds (the fuzz
// targets throw) still runs the destructor and frees the texts read so far.
MidiFile::MidiFile(const char* label, const uint8_t* image, size_t size) : MidiFile() {
    logLine("Loading MIDI file %s, %i bytes long\n", label, int(size));
    parse(image, size);
}

MidiFile::~MidiFile() = default;

MidiFile::TextOwner::~TextOwner() {
    free(file->copyright);
    free(file->text);
    file->copyright = file->text = nullptr;
}

const char* MidiFile::eventLocation() {
    snprintf(location_, sizeof location_, "in track %u at byte %ld", unsigned(chunkNumber_),
             long(event_ - image_));
    return location_;
}

void MidiFile::parse(const uint8_t* image, size_t size) {
    const uint8_t* cursor = image;
    const uint8_t* const end = image + size;
    image_ = image;
    static const uint8_t kHeader[8] = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    if (size < 8 || memcmp(image, kHeader, 8) != 0) {
        char found[80] = "";
        for (size_t i = 0; i < size && i < 8; ++i)
            snprintf(found + strlen(found), sizeof found - strlen(found), "%s%02X", i ? " " : "", image[i]);
        if (size >= 4 && memcmp(image, "MThd", 4) == 0)
            FATAL("  Unknown header info, MIDI file format not recognized\n\nThe header chunk's length is not 6 "
                  "(the file starts with %s); the reader takes \"MThd\" 00 00 00 06.",
                  found);
        FATAL("  Unknown header info, MIDI file format not recognized\n\nThe file starts with %s%s; a standard "
              "MIDI file starts with \"MThd\" 00 00 00 06.",
              size ? found : "nothing (it is empty)", size >= 4 && memcmp(image, "RIFF", 4) == 0
                  ? " (a RIFF file: festoonery-tool midi-import takes the MIDI file out of an RMID file)" : "");
    }
    cursor += 8;

    uint32_t format = readBigEndian(2, &cursor, end);
    logLine("  MIDI file format %i found\n", int(format));
    uint32_t chunkCount = readBigEndian(2, &cursor, end);
    logLine("  Number of MTrk chunks: %i\n", int(chunkCount));
    uint32_t division = readBigEndian(2, &cursor, end);
    logLine("  Milliseconds 1/4 delta: %i\n", int(division));
    // Every event time is ticks / division.
    if (division == 0) FATAL("Division of 0 ticks per quarter note, corrupt MIDI file?");

    for (uint32_t chunk = 0; chunk < chunkCount; ++chunk) {
        MidiTrack track;
        chunkNumber_ = chunk + 1;
        if (end - cursor < 4) {
            FATAL(" Could not find track chunk header, unrecognized file format!\n\nThe file ends at byte %ld, "
                  "before track chunk %u of the %u the header counts.",
                  long(end - image), unsigned(chunk + 1), unsigned(chunkCount));
        }
        if (memcmp(cursor, "MTrk", 4) != 0) {
            char kind[5] = {};
            for (int i = 0; i < 4; ++i) kind[i] = cursor[i] >= 0x20 && cursor[i] < 0x7F ? char(cursor[i]) : '?';
            FATAL(" Could not find track chunk header, unrecognized file format!\n\nChunk %u of %u at byte %ld "
                  "is \"%s\", not \"MTrk\"; festoonery-tool midi-import skips chunks of other kinds.",
                  unsigned(chunk + 1), unsigned(chunkCount), long(cursor - image), kind);
        }
        cursor += 4;
        uint32_t length = readBigEndian(4, &cursor, end);
        if (length > size_t(end - cursor)) {
            FATAL("Track chunk %i is %u bytes long but only %i bytes are left in the file, "
                  "truncated MIDI file?",
                  int(chunk + 1), unsigned(length), int(end - cursor));
        }
        const uint8_t* chunkEnd = cursor + length;
        uint8_t status = 0;
        uint32_t ticks = 0;
        // The end is tested after each event, so a chunk always yields one event.
        do {
            ticks += readVarLen(&cursor, end);
            float t = float(ticks) / float(division);
            needBytes(cursor, end, 1);
            event_ = cursor;
            if (*cursor & 0x80) status = *cursor++;
            readEvent(track, &cursor, end, status, t);
        } while (cursor < chunkEnd);
        if (track.noteEvents > 0) tracks.push_back(std::move(track));
    }

    logLine("  A total of %i tracks were added:\n", int(tracks.size()));
    for (const MidiTrack& track : tracks) {
        int low = 127, high = 0;
        for (const MidiNote& n : track.notes) {
            if (n.note < low) low = n.note;
            if (n.note > high) high = n.note;
        }
        char lowName[7], highName[7];
        noteName(uint8_t(low), lowName);
        noteName(uint8_t(high), highName);
        logLine("   \"%s\", %i note events, %i different, first at %.2f, low/high %s/%s (%i/%i)\n",
                track.name ? track.name : "", track.noteEvents, int(track.notes.size()),
                double(track.notes[0].times[0]), lowName, highName, low, high);
    }
}

void MidiFile::readEvent(MidiTrack& track, const uint8_t** cursor, const uint8_t* end,
                         uint8_t& status, float t) {
    switch (status >> 4) {
        case 0x8: {
            uint8_t note = readByte(cursor, end);
            readByte(cursor, end);  // release velocity, not kept
            noteEvent(track, note, 0, t);
            return;
        }
        case 0x9: {
            uint8_t note = readByte(cursor, end);
            uint8_t velocity = readByte(cursor, end);
            noteEvent(track, note, velocity, t);
            return;
        }
        case 0xA:
            needBytes(*cursor, end, 2);
            *cursor += 2;
            return;
        case 0xB: {
            uint8_t controller = readByte(cursor, end);
            uint8_t value = readByte(cursor, end);
            // Only 128 lanes exist; a larger number is a data byte out of place.
            if (controller >= 128)
                FATAL("Controller number %i out of range 0-127, corrupt MIDI file?\n\nControl change %s.", controller,
                      eventLocation());
            if (controller == 7) {
                track.volume = value;
            } else if (controller == 10) {
                track.pan = value;
            } else {
                track.controllers[controller].times.push_back(t);
                track.controllers[controller].values.push_back(value);
            }
            return;
        }
        case 0xC:
            FATAL_AT_REASON("Program change (status %02X) %s: the reader takes notes, controllers, aftertouch and "
                            "channel pressure. %s",
                            status, eventLocation(), kImportHint);
        case 0xD:
            needBytes(*cursor, end, 1);
            *cursor += 1;
            return;
        case 0xE:
            FATAL_AT_REASON("Pitch bend (status %02X) %s: the reader takes notes, controllers, aftertouch and "
                            "channel pressure. %s",
                            status, eventLocation(), kImportHint);
        case 0xF:
            if (status == 0xF0 || status == 0xF7)
                FATAL("  Got SysEx event, not supported yet, panicking!\n\nSysEx event (status %02X) %s. %s", status,
                      eventLocation(), kImportHint);
            if (status == 0xFF) {
                readMetaEvent(track, cursor, end);
                return;
            }
            break;
        default:
            break;
    }
    uint8_t at = *cursor < end ? **cursor : 0;
    if (status < 0x80)
        FATAL("Unknown event %x from %x, corrupt MIDI file? Panicking!\n\nData byte %02X %s has no status byte "
              "before it in its track.",
              unsigned(at >> 4), unsigned(at), unsigned(at), eventLocation());
    FATAL("Unknown event %x from %x, corrupt MIDI file? Panicking!\n\nStatus byte %02X %s is no event of a MIDI "
          "file (system common and real-time messages are not stored in files).",
          unsigned(at >> 4), unsigned(at), unsigned(status), eventLocation());
}

void MidiFile::readMetaEvent(MidiTrack& track, const uint8_t** cursor, const uint8_t* end) {
    needBytes(*cursor, end, 1);
    uint8_t type = **cursor;
    // Expects the one-byte length of a fixed-size meta event and steps past it.
    uint8_t length = 0;
    auto expectLength = [&](uint8_t expected) {
        ++*cursor;
        length = readByte(cursor, end);
        return length == expected;
    };
    // Why readMetaText is about to fail: the destination holds a text, or the length is 0.
    char why[400] = "";
    auto textReason = [&](const char* event, const char* held, const char* rule) {
        if (held) {
            snprintf(why, sizeof why, "A second %s event %s; the reader takes %s (the first: \"%.80s\"). %s", event,
                     eventLocation(), rule, held, kImportHint);
        } else if (end - *cursor >= 2 && (*cursor)[1] == 0) {
            snprintf(why, sizeof why, "The %s event %s is empty (length 0). %s", event, eventLocation(), kImportHint);
        } else {
            snprintf(why, sizeof why, "Not enough memory for the %s event %s.", event, eventLocation());
        }
    };
    auto lengthReason = [&](const char* event, int expected) {
        snprintf(why, sizeof why, "The %s event %s has length %d; it has %d bytes.", event, eventLocation(), length,
                 expected);
        return why;
    };
    switch (type) {
        case 0x00:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07:
        case 0x20:
        case 0x54:
        case 0x7F:
            FATAL_AT_REASON("%s meta event (FF %02X) %s: the reader takes text, copyright, track name, end of track, "
                            "tempo, time signature and key signature. %s",
                            metaName(type), type, eventLocation(), kImportHint);
        case 0x01:
            textReason("text", text, "one per file");
            if (!readMetaText(&text, cursor, end)) FATAL("Retrieving text info failed!\n\n%s", why);
            logLine("  Text info: %s\n", text);
            return;
        case 0x02:
            textReason("copyright", copyright, "one per file");
            if (!readMetaText(&copyright, cursor, end)) FATAL("Retrieving copyright info failed!\n\n%s", why);
            logLine("  Copyright info: %s\n", copyright);
            return;
        case 0x03:
            textReason("track name", track.name, "one per track");
            if (!readMetaText(&track.name, cursor, end)) FATAL("Retrieving track name failed!\n\n%s", why);
            return;
        case 0x2F:
            if (!expectLength(0x00)) FATAL("Expected 0x00\n\n%s", lengthReason("end-of-track", 0));
            return;
        case 0x51: {
            if (!expectLength(0x03)) FATAL("Expected 0x03\n\n%s", lengthReason("tempo", 3));
            uint32_t microseconds = readBigEndian(3, cursor, end);
            // 0 microseconds per quarter note would make the tempo infinite.
            if (microseconds == 0)
                FATAL("Tempo of 0 microseconds per quarter note, corrupt MIDI file?\n\nTempo event %s.",
                      eventLocation());
            bpm = roundTo2(float(60000000.0 / microseconds));
            logLine("  Got bpm of %.2f\n", double(bpm));
            return;
        }
        case 0x58: {
            if (!expectLength(0x04)) FATAL("Expected 0x04\n\n%s", lengthReason("time signature", 4));
            timeSigNumerator = readByte(cursor, end);
            uint8_t exponent = readByte(cursor, end);
            // 2 to the power of the exponent, kept in 8 bits (an exponent of 8 or more gives 0).
            timeSigDenominator = exponent < 8 ? uint8_t(1u << exponent) : 0;
            clocksPerClick = readByte(cursor, end);
            thirtySecondsPerQuarter = readByte(cursor, end);
            logLine("  Time signature is %i/%i, %i MIDI clocks per metronome tick, %i 32th notes per "
                    "24 MIDI clocks\n",
                    timeSigNumerator, timeSigDenominator, clocksPerClick, thirtySecondsPerQuarter);
            return;
        }
        case 0x59: {
            if (!expectLength(0x02)) FATAL("Expected 0x02\n\n%s", lengthReason("key signature", 2));
            keySignature = int8_t(readByte(cursor, end));
            minorKey = readByte(cursor, end) == 1;
            logLine("  Key signature is %i, %s\n", keySignature, minorKey ? "minor" : "major");
            return;
        }
        default:
            FATAL("  Unknown meta event, panicking!\n\n%s meta event (FF %02X) %s: the reader takes text, copyright, "
                  "track name, end of track, tempo, time signature and key signature. %s",
                  metaName(type), type, eventLocation(), kImportHint);
    }
}
