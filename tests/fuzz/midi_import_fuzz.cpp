// Feeds arbitrary bytes to festoonery-tool's MIDI importer: it must refuse them or write
// a file that the engine's reader takes (a refusal there is a finding), and importing
// what it wrote must give the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "import/midi_import.h"
#include "util/music/midi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    midiimport::Result first = midiimport::importMidi(data, size);
    if (!first.ok) return 0;
    try {
        MidiFile midi("import.mid", first.output.data(), first.output.size());
    } catch (const fuzzsupport::Refused&) {
        abort();
    }
    midiimport::Result again = midiimport::importMidi(first.output.data(), first.output.size());
    if (!again.ok || again.output != first.output) abort();
    return 0;
}
