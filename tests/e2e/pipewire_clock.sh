#!/usr/bin/env bash
# The audio position through PipeWire, the sound server of Debian 12's desktop: as
# pulse_clock.sh, with festoonery-audio-clock --pulse --pipewire starting a private
# PipeWire (its PulseAudio service on a socket of its own, a null sink, a fixed quantum
# of 1024 frames, WirePlumber to link the streams and a private D-Bus session bus for
# WirePlumber). Through the PulseAudio client library the limits are PulseAudio's: the
# position never goes backwards, lies within 1 ms of the server's (median) and 2 ms at
# the 95th percentile, and the stop is seen 0 to 20 ms after the last frame; one run.
#
# PipeWire's reports are those of its last graph cycle and leave out the two quanta the
# service holds (src/platform/audio/pulse_output.cpp): read as PulseAudio's, the layer
# was 5 to 26 ms ahead (medians 5.2 and 8.2 ms); read as PipeWire's, on 2 busy cores
# (load 11 to 12), medians 0.0 ms, each onset within 0.2 ms once the first second has
# given the quantum. SDL's PulseAudio driver (the fallback without the client library)
# cannot see those quanta: its figures (46 ms ahead, two quanta) are printed, not held
# to the limits.
source "$(dirname "$0")/lib_pulse_clock.sh"
for program in pipewire wireplumber dbus-daemon; do
    command -v $program >/dev/null || { echo "FAIL: no $program (scripts/deps.sh test installs it)"; exit 1; }
done

measure "client library through PipeWire" held --pipewire
measure "SDL driver through PipeWire" print --pipewire --sdl
report
