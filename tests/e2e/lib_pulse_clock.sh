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

# within OUTPUT P95_LIMIT [ANY]: the last line's figures inside the limits (median under
# 5 ms, stop seen between -2 and 20 ms); with ANY only the form of the line is checked.
within() {
    tail -1 "$1" | awk -v p95limit="$2" -v any="${3:-}" '
        /^pulse: offset median [0-9.]+ ms, p95 [0-9.]+ ms, stop seen -?[0-9.]+ ms after the last frame$/ {
            median = $4; p95 = $7; stop = $11
            exit !(any != "" || (median < 5.0 && p95 < p95limit && stop > -2.0 && stop < 20.0))
        }
        { exit 1 }'
}

# measure NAME P95_LIMIT ARGS...: festoonery-audio-clock --pulse ARGS --fps 120, once
# more when outside the limits; counts a failure unless one run is inside them. A
# P95_LIMIT of "print" only prints the figures (the position must still never go
# backwards).
measure() {
    local name=$1 p95limit=$2 attempt status any=
    shift 2
    [ "$p95limit" = print ] && any=yes
    for attempt in 1 2; do
        timeout 120 "$clock" --pulse "$@" --fps 120 >"$out" 2>&1
        status=$?
        sed "s/^/  [$name, run $attempt] /" "$out" | grep -v "E: \[pulseaudio\]"
        if [ $status -ne 0 ]; then
            echo "FAIL: $name: exit status $status"
            failures=$((failures + 1))
            return
        fi
        if ! grep -q "^output: pulseaudio$" "$out"; then
            echo "FAIL: $name: did not play through PulseAudio"
            failures=$((failures + 1))
            return
        fi
        if ! grep -q "^pulse: the position never went backwards$" "$out"; then
            echo "FAIL: $name: the position went backwards"
            failures=$((failures + 1))
            return
        fi
        if within "$out" "$p95limit" $any; then
            echo "ok:   $name: $(tail -1 "$out")"
            return
        fi
    done
    echo "FAIL: $name: outside the limits twice"
    failures=$((failures + 1))
}

report() {
    [ $failures -eq 0 ] && echo "all checks passed"
    exit $((failures > 0))
}
