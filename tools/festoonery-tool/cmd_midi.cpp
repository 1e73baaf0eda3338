// festoonery-tool midi: reads a MIDI file with the engine's own reader and prints the
// summary the engine logs when the demo loads it.
#include <string>
#include <vector>

#include "command.h"
#include "engine_log.h"
#include "util/music/midi.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool midi FILE\n"
    "\n"
    "Reads the standard MIDI file FILE from disk with the engine's own reader, exactly as\n"
    "the demo loads its composition, and prints the reader's summary without timestamps:\n"
    "the format, chunk count and ticks per quarter note, the text, copyright, tempo, time\n"
    "and key signature events as they are met, then the tracks that were added (tracks\n"
    "without note events are dropped) with their note events, different notes, first\n"
    "note time in beats and lowest and highest note.\n"
    "\n"
    "A file the reader refuses gives the reader's own message and exit status 1; the demo\n"
    "would stop with the same message.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

int runMidi(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {}, &args)) return status;
    if (args.positionals.empty()) return tool::usageError("which MIDI file?");
    if (args.positionals.size() > 1)
        return tool::usageError("one MIDI file at a time; '%s' is one too many",
                                args.positionals[1].c_str());
    std::string path = args.positionals[0];

    tool::EngineLog log;
    log.begin();
    {
        MidiFile midi(path.c_str());  // a refused file ends the tool here
    }
    for (const std::string& line : log.end()) fprintf(tool::out(), "%s\n", line.c_str());
    return tool::kOk;
}

const tool::Registrar registrar({"midi", "print the summary of a MIDI file as the engine reads it",
                                 kUsageText, runMidi});

}  // namespace
