// Music::loadSync and Music::loadMidi: the sync description ties the soundtrack, the
// composition's MIDI file and the modulators on its tracks together.
#include <tinyxml.h>

#include <new>
#include <string>

#include "main/log.h"
#include "util/music/midi.h"
#include "util/music/music.h"
#include "util/music/sync.h"

void Music::loadMidi(const char* path) {
    MidiFile* file = new (std::nothrow) MidiFile(path);
    if (!file) FATAL("Loading %s failed!", path);
    midi = file;
    bpm = file->bpm;
}

void Music::loadSync() {
    const char* path = syncPath_ ? syncPath_ : "data/common/music/Festoonery.xml";
    logLine("  Loading %s\n", path);
    TiXmlDocument document;
    loadSyncDocument(document, path);
    logLine("  ..parsing\n");
    // Every file the description names is relative to its own directory.
    std::string prefix = syncDirectory(path);

    TiXmlElement* element = document.FirstChildElement("modulators");
    if (!element) FATAL("element is NULL");
    const char* streamName = element->Attribute("stream_filename");
    if (!streamName) FATAL("element->Attribute( \"stream_filename\" ) is NULL");
    const char* midiName = element->Attribute("mididata_filename");
    if (!midiName) FATAL("element->Attribute( \"mididata_filename\" ) is NULL");
    std::string streamPath = prefix + streamName;
    // A reload keeps the playing stream when the description still names its file.
    if (!(reloading_ && streamPath == streamPath_)) loadStream(streamPath.c_str());
    loadMidi((prefix + midiName).c_str());

    logLine("Loading Modulators...\n");
    for (TiXmlElement* m = element->FirstChildElement(); m; m = m->NextSiblingElement())
        parseModulatorElement(m, *midi, bpm, prefix);
    for (const MidiTrack& track : midi->tracks) {
        logLine("  track '%s' has %i modulators\n", track.name ? track.name : "",
                int(track.modulators.size()));
    }
}

bool Music::reloadSync() {
    const char* path = syncPath_ ? syncPath_ : "data/common/music/Festoonery.xml";
    if (!syncDocumentParses(path)) return false;
    HSTREAM previous = stream;
    QWORD position = BASS_ChannelGetPosition(previous, BASS_POS_BYTE);
    bool playing = BASS_ChannelIsActive(previous) == BASS_ACTIVE_PLAYING;
    MidiFile* previousMidi = midi;
    midi = nullptr;
    reloading_ = true;
    loadSync();
    reloading_ = false;
    delete previousMidi;
    if (stream == previous) return true;
    BASS_ChannelFlags(stream, 0, BASS_SAMPLE_LOOP);
    BASS_ChannelSetPosition(stream, position, BASS_POS_BYTE);
    if (playing) BASS_ChannelPlay(stream, FALSE);
    BASS_StreamFree(previous);
    return true;
}
