// festoonery-audio-clock --pulse: the audio layer's position against the times a
// PulseAudio server says it played each frame.
#pragma once

#include <string>

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
    // --whole: the demo that plays, and its soundtrack (relative to the demo's folder).
    std::string demo = "festoonery";
    std::string soundtrack = "data/common/music/Festoonery.ogg";
};

// Returns the process exit status: 0 with the figures printed, 1 when no measurement
// could be made (no server, no recording, onsets not found).
int run(const Options& options);

// --whole: the demo plays the whole greeting through the server's null sink, with the
// viewer's settings (1280x720, 4 samples), and the sink's monitor is recorded; the
// recording against the decoded soundtrack gives one line "whole: N dropouts in S s,
// longest gap G ms, delay D ms". 1 when the demo fails or nothing could be compared.
int runWhole(const Options& options);

}  // namespace pulsecheck
