// festoonery-audio-clock --pulse: the audio layer's position against the times a
// PulseAudio server says it played each frame.
#pragma once

#include "private_server.h"

namespace pulsecheck {

struct Options {
    bool privateServer = true;  // false: the server of the session (PipeWire's too)
    ServerKind server = ServerKind::PulseAudio;  // which private server
    bool combined = false;      // private server: through a combine sink (more buffering)
    bool sdlOutput = false;     // SDL's PulseAudio driver, not the client library
    bool listOnsets = false;    // a line per onset
    double fps = 60.0;          // the frame loop that samples the position
    double seconds = 10.0;      // soundtrack length
};

// Returns the process exit status: 0 with the figures printed, 1 when no measurement
// could be made (no server, no recording, onsets not found).
int run(const Options& options);

}  // namespace pulsecheck
