// Music::loadSync and Music::loadMidi: the sync description ties the soundtrack, the
// composition's MIDI file and the modulators on its tracks together.
#include <tinyxml.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "log.h"
#include "recover.h"
#include "util/music/midi.h"
#include "util/music/music.h"
#include "util/music/sync.h"

void Music::loadMidi(const char* path) {
    MidiFile* file = new (std::nothrow) MidiFile(path);
    if (!file) FATAL("Loading %s failed!", path);
    midi = file;
    bpm = file->bpm;
}

namespace {

// The modulators of the description's <modulators> element, attached to the tracks of
// midi; each track's count is logged.
void attachModulators(TiXmlElement* element, MidiFile& midi, const std::string& prefix) {
    logLine("Loading Modulators...\n");
    for (TiXmlElement* m = element->FirstChildElement(); m; m = m->NextSiblingElement())
        parseModulatorElement(m, midi, midi.bpm, prefix);
    for (const MidiTrack& track : midi.tracks) {
        logLine("  track '%s' has %i modulators\n", track.name ? track.name : "",
                int(track.modulators.size()));
    }
}

// The <modulators> element with both file names; a missing one ends the process.
TiXmlElement* descriptionElement(TiXmlDocument& document, const char** streamName, const char** midiName) {
    TiXmlElement* element = document.FirstChildElement("modulators");
    if (!element) FATAL("element is NULL");
    *streamName = element->Attribute("stream_filename");
    if (!*streamName) FATAL("element->Attribute( \"stream_filename\" ) is NULL");
    *midiName = element->Attribute("mididata_filename");
    if (!*midiName) FATAL("element->Attribute( \"mididata_filename\" ) is NULL");
    return element;
}

}  // namespace

void Music::loadSync() {
    const char* path = syncPath_ ? syncPath_ : "data/common/music/Festoonery.xml";
    logLine("  Loading %s\n", path);
    TiXmlDocument document;
    loadSyncDocument(document, path);
    logLine("  ..parsing\n");
    // Every file the description names is relative to its own directory.
    std::string prefix = syncDirectory(path);

    const char* streamName = nullptr;
    const char* midiName = nullptr;
    TiXmlElement* element = descriptionElement(document, &streamName, &midiName);
    loadStream((prefix + streamName).c_str());
    loadMidi((prefix + midiName).c_str());
    attachModulators(element, *midi, prefix);
}

bool Music::reloadSync() {
    const char* path = syncPath_ ? syncPath_ : "data/common/music/Festoonery.xml";
    if (!syncDocumentParses(path)) return false;

    // Everything is read into new objects first; only a complete reload replaces the
    // old ones.
    std::unique_ptr<MidiFile> newMidi;
    OpenedStream opened;
    std::string streamPath;
    std::string reason;
    bool read = recoverFatal(
        [&] {
            logLine("  Loading %s\n", path);
            TiXmlDocument document;
            loadSyncDocument(document, path);
            logLine("  ..parsing\n");
            std::string prefix = syncDirectory(path);
            const char* streamName = nullptr;
            const char* midiName = nullptr;
            TiXmlElement* element = descriptionElement(document, &streamName, &midiName);
            streamPath = prefix + streamName;
            newMidi.reset(new MidiFile((prefix + midiName).c_str()));
            attachModulators(element, *newMidi, prefix);
            // A reload keeps the playing stream when the description still names its file.
            if (streamPath != streamPath_) {
                opened = openStream(streamPath.c_str());
                if (opened.stream == 0) FATAL("The audio library cannot play %s", streamPath.c_str());
            }
        },
        &reason);
    if (!read) {
        if (opened.stream) BASS_StreamFree(opened.stream);
        free(opened.image);
        logLine("Sync description %s not reloaded: %s\n", path, reason.c_str());
        return false;
    }

    HSTREAM previous = stream;
    QWORD position = BASS_ChannelGetPosition(previous, BASS_POS_BYTE);
    bool playing = BASS_ChannelIsActive(previous) == BASS_ACTIVE_PLAYING;
    float previousBpm = bpm;

    retiredMidi_.push_back(midi);
    midi = newMidi.release();
    bpm = midi->bpm;
    ++syncGeneration;

    if (opened.stream) {
        BASS_ChannelFlags(opened.stream, 0, BASS_SAMPLE_LOOP);
        BASS_ChannelSetAttribute(opened.stream, BASS_ATTRIB_VOL, 1.0f);
        BASS_ChannelSetPosition(opened.stream, position, BASS_POS_BYTE);
        if (playing) BASS_ChannelPlay(opened.stream, FALSE);
        BASS_StreamFree(previous);
        free(streamImage_);
        stream = opened.stream;
        streamImage_ = opened.image;
        streamPath_ = streamPath;
        lengthBytes = opened.lengthBytes;
        lengthSeconds = opened.lengthSeconds;
    }

    // The same moment in seconds under the new tempo. The beat clock's last raw beat is
    // taken again there, so a slower tempo is not mistaken for the music starting over
    // (which adds the old beat) and a faster one jumps straight to its beat.
    double seconds = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
    float scale = previousBpm != 0.0f ? bpm / previousBpm : 1.0f;
    BeatWrapState& wrap = beatWrapState();
    wrap = BeatWrapState{float(seconds * 0.016666666666666666 * bpm + beatOffset), wrap.wrapBeats * scale};
    for (float& b : beatHistory) b = (b - beatOffset) * scale + beatOffset;
    beatAdvance *= scale;
    return true;
}
