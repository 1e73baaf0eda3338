// festoonery-tool midi-import: writes a copy of any standard MIDI file that the engine's
// MIDI reader takes, and says what it left out.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "engine_log.h"
#include "import/midi_import.h"
#include "import/write_file.h"
#include "util/music/midi.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool midi-import IN OUT\n"
    "\n"
    "Reads the standard MIDI file IN (format 0, 1 or 2, as a sequencer, tracker or DAW\n"
    "writes it; also inside an RMID wrapper) and writes OUT, a MIDI file the engine's\n"
    "reader takes, with the same ticks per quarter note and every kept event at its tick:\n"
    "\n"
    "  kept     notes, controllers, aftertouch, channel pressure, tempo, time and key\n"
    "           signatures, the first text and the first copyright event of the file,\n"
    "           the first non-empty track name of each track (a track without one is\n"
    "           named \"Track N\", N counting the tracks from 1), one end of track per track\n"
    "  dropped  program changes, pitch bends, SysEx, every other meta event (lyrics,\n"
    "           markers, sequencer-specific...), further or empty names and texts, and\n"
    "           chunks other than tracks\n"
    "\n"
    "Texts longer than 127 bytes are shortened. It prints what it read, what it dropped\n"
    "counted by kind, the names it gave and what it wrote; `festoonery-tool midi OUT`\n"
    "then shows every track with the same note events as IN. OUT is replaced only once\n"
    "it is complete. A file that is not a MIDI file, or is damaged, is refused with the\n"
    "reason (exit status 1) and nothing is written.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

bool readAll(const std::string& path, std::vector<uint8_t>* bytes, std::string* why) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        *why = strerror(errno);
        return false;
    }
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
    bool failed = ferror(f) != 0;
    int error = errno;
    fclose(f);
    if (failed) *why = strerror(error ? error : EIO);
    return !failed;
}

int runMidiImport(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {}, &args)) return status;
    if (args.positionals.size() < 2) return tool::usageError("name the MIDI file IN and the file OUT to write");
    if (args.positionals.size() > 2)
        return tool::usageError("one MIDI file at a time; '%s' is one too many", args.positionals[2].c_str());
    const std::string& in = args.positionals[0];
    const std::string& outPath = args.positionals[1];

    std::vector<uint8_t> bytes;
    std::string why;
    if (!readAll(in, &bytes, &why)) return tool::fail("cannot read %s: %s", in.c_str(), why.c_str());
    midiimport::Result r = midiimport::importMidi(bytes.data(), bytes.size());
    if (!r.ok) return tool::fail("%s refused: %s", in.c_str(), r.error.c_str());

    // The engine's reader must take what was written; a refusal here ends the tool
    // with the reader's own message, and nothing is written.
    {
        tool::EngineLog log;
        log.begin();
        MidiFile check(outPath.c_str(), r.output.data(), r.output.size());
        log.end();
    }
    if (!tool::writeWholeFile(outPath, r.output.data(), r.output.size(), &why))
        return tool::fail("could not write %s: %s", outPath.c_str(), why.c_str());

    FILE* out = tool::out();
    fprintf(out, "read %s: format %d, %d track%s, %u ticks per quarter note, %zu events\n", in.c_str(), r.format,
            r.tracks, r.tracks == 1 ? "" : "s", unsigned(r.division), r.eventsRead);
    if (r.dropped.empty()) fprintf(out, "dropped nothing\n");
    for (const auto& kind : r.dropped) fprintf(out, "dropped %zu %s\n", kind.second, kind.first.c_str());
    if (!r.namedTracks.empty()) {
        fprintf(out, "named %zu track%s without a name:", r.namedTracks.size(), r.namedTracks.size() == 1 ? "" : "s");
        for (size_t i = 0; i < r.namedTracks.size(); ++i)
            fprintf(out, "%s \"%s\"", i ? "," : "", r.namedTracks[i].c_str());
        fprintf(out, "\n");
    }
    for (const std::string& note : r.notes) fprintf(out, "note: %s\n", note.c_str());
    fprintf(out, "wrote %s: %d track%s, %zu events kept, %zu bytes\n", outPath.c_str(), r.tracks,
            r.tracks == 1 ? "" : "s", r.eventsKept, r.output.size());
    return tool::kOk;
}

const tool::Registrar registrar({"midi-import", "write a copy of a MIDI file that the engine reads", kUsageText,
                                 runMidiImport});

}  // namespace
