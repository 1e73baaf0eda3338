#!/usr/bin/env bash
# Renders the soundtrack Festoonery.ogg from the composition Festoonery.mid.
# Generator-only tools (not needed by the build): fluidsynth, fluid-soundfont-gm,
# vorbis-tools. The MIDI file holds no program changes; instruments.txt (fluidsynth
# commands "prog CHANNEL PROGRAM") chooses the General MIDI instruments before the
# file plays. The render starts at sample 0 = tick 0, so beat 0 is at 0 s.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
music=${1:-$here/../../data/common/music}
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
gain=${FESTOONERY_GAIN:-0.6}
# The composition ends at beat 122; one more beat (at 120 bpm) lets the last chord
# ring out before the cut.
length_s=61.5
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fluidsynth -ni -q -g "$gain" -r 44100 -f "$here/instruments.txt" \
  -F "$tmp/song.wav" "$soundfont" "$music/Festoonery.mid" </dev/null
/usr/bin/python3 "$here/check_audio.py" "$tmp/song.wav" "$length_s"
oggenc -Q -q 4 -s 20240320 -o "$music/Festoonery.ogg" "$tmp/song.wav"
