// A sound server of this process alone, for festoonery-audio-clock --pulse: a null sink
// "festoonery" at 44100 Hz s16 stereo that plays at the real rate, reached through the
// PulseAudio protocol on a socket in a fresh folder. Either PulseAudio itself or PipeWire
// with its PulseAudio service (pipewire-pulse's module), its session manager WirePlumber
// and a private D-Bus session bus that WirePlumber needs; every process is stopped by
// stop() (or when this one dies) and the folder removed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace pulsecheck {

enum class ServerKind { PulseAudio, PipeWire };

class PrivateServer {
public:
    // combined (PulseAudio only): a combine sink over the null sink takes the stream, so
    // the server adds a buffer and a resampler of its own, as desktop set-ups do. On
    // success PULSE_SERVER (and PULSE_SINK) name it for every client of this process.
    // False with the reason in `why`.
    bool start(ServerKind kind, bool combined, std::string* why);
    void stop();
    ~PrivateServer() { stop(); }

private:
    bool startPulseAudio(bool combined, std::string* why);
    bool startPipeWire(std::string* why);
    // Runs argv as a child that dies with us; its stdout and stderr go to `log` (or /dev/null).
    pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const char* log);
    // Up to `seconds` for `path` to appear while every child runs.
    bool waitForFile(const std::string& path, double seconds, std::string* why);

    std::vector<pid_t> children_;  // stopped in reverse order
    std::string dir_;
};

}  // namespace pulsecheck
