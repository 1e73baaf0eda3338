# The audio-clock measurement of the e2e tests through a private sound server (sourced
# by pulse_clock.sh and pipewire_clock.sh): festoonery-audio-clock --pulse plays a
# soundtrack of marked onsets through the audio layer and compares when the layer says
# each onset is heard with when the server says it played it.
set -uo pipefail

: "${BUILD_DIR:?}"
clock="$BUILD_DIR/tools/audio_clock/festoonery-audio-clock"
[ -x "$clock" ] || { echo "FAIL: no program at $clock"; exit 1; }

failures=0
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# within OUTPUT MODE: the last line's figures inside the limits of MODE. held: median at
# most 1 ms, p95 at most 2 ms, the stop seen 0 to 20 ms after the last frame (the client
# library through either server; -0.5 ms is taken as 0: the position itself is known to
# 0.1-0.2 ms, so a stop seen that much before the last frame is the measure's grain); sdl: median under 5 ms, stop -2 to 20 ms (SDL's driver
# into PulseAudio, whose callbacks come late on a busy machine: its p95 is printed);
# print: only the form of the line.
within() {
    tail -1 "$1" | awk -v mode="$2" '
        /^pulse: offset median [0-9.]+ ms, p95 [0-9.]+ ms, stop seen -?[0-9.]+ ms after the last frame$/ {
            median = $4; p95 = $7; stop = $11
            if (mode == "held") exit !(median <= 1.0 && p95 <= 2.0 && stop >= -0.5 && stop <= 20.0)
            if (mode == "sdl") exit !(median < 5.0 && stop > -2.0 && stop < 20.0)
            exit 0
        }
        { exit 1 }'
}

# measure NAME MODE ARGS...: festoonery-audio-clock --pulse ARGS --fps 120, once: a sound
# measurement passes every time, so there is no second try. The position must never go
# backwards and the recording must hold the soundtrack's onsets, whatever the MODE.
measure() {
    local name=$1 mode=$2 status
    shift 2
    timeout 120 "$clock" --pulse "$@" --fps 120 >"$out" 2>&1
    status=$?
    sed "s/^/  [$name] /" "$out" | grep -v "E: \[pulseaudio\]"
    if [ $status -ne 0 ]; then
        echo "FAIL: $name: exit status $status"
    elif ! grep -q "^output: pulseaudio$" "$out"; then
        echo "FAIL: $name: did not play through PulseAudio"
    elif ! grep -q "^pulse: the position never went backwards$" "$out"; then
        echo "FAIL: $name: the position went backwards"
    elif ! within "$out" "$mode"; then
        echo "FAIL: $name: outside the limits ($mode): $(tail -1 "$out")"
    else
        echo "ok:   $name: $(tail -1 "$out")"
        return
    fi
    failures=$((failures + 1))
}

report() {
    [ $failures -eq 0 ] && echo "all checks passed"
    exit $((failures > 0))
}
