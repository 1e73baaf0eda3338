#!/usr/bin/env bash
# The whole greeting's sound, played by the demo itself on the software renderer at the
# viewer's settings (1280x720, 4 samples) into a private PipeWire, recorded from the
# sink's monitor (festoonery-audio-clock --pulse --pipewire --whole): the recording is
# the soundtrack sample for sample apart from its delay, with no gap, repeat or click,
# and the demo ends by itself.
#
# Measured here with both cores busy (the demo keeps them so): 0 dropouts in 61.5 s,
# delay 3.3 s (the loading before the music starts).
set -uo pipefail

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}" "${RUNTIME_DIR:?}"
clock="$BUILD_DIR/tools/audio_clock/festoonery-audio-clock"
[ -x "$clock" ] || { echo "FAIL: no program at $clock"; exit 1; }
[ -x "$RUNTIME_DIR/festoonery" ] || { echo "FAIL: no festoonery at $RUNTIME_DIR"; exit 1; }
for program in pipewire wireplumber dbus-daemon; do
  command -v $program >/dev/null || { echo "FAIL: no $program (scripts/deps.sh test installs it)"; exit 1; }
done

. "$SOURCE_DIR/scripts/lib_xvfb.sh"
xvfb_pid=
out=$(mktemp)
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -f "$out"; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || skip_without_display "no display, and Xvfb could not be started"
fi
export LIBGL_ALWAYS_SOFTWARE=1

timeout 300 "$clock" --pulse --pipewire --whole "$RUNTIME_DIR/festoonery" >"$out" 2>&1
status=$?
sed 's/^/  /' "$out" | grep -v "E: \[pulseaudio\]" | tail -20
line=$(grep '^whole: ' "$out" | head -1)
if [ $status -ne 0 ]; then
  echo "FAIL: exit status $status"
elif ! echo "$line" | grep -Eq '^whole: 0 dropouts in (6[1-9]|[7-9][0-9])\.[0-9] s, longest gap 0\.0 ms, delay [0-9.]+ ms$'; then
  echo "FAIL: the recording is not the whole soundtrack: $line"
else
  echo "ok:   $line"
  exit 0
fi
exit 1
