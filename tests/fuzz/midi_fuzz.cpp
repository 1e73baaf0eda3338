// Feeds arbitrary bytes to the MIDI reader as a file image: it must either read them or
// refuse them with its fatal error, never read outside the image.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "util/music/midi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    try {
        MidiFile midi("fuzz.mid", data, size);
    } catch (const fuzzsupport::Refused&) {
    }
    return 0;
}
