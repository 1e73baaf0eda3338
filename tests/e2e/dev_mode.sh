#!/usr/bin/env bash
# festoonery --dev driven by keys as a demo maker uses it: no dialog, windowed although
# the settings ask for full screen, assets from the loose tree; seek, pause (the beat
# stands still), loop, reload by key and by editing a shader (a broken one is kept out
# and the run goes on), and Escape ends with status 0.
source "$(dirname "$0")/lib_shell.sh"

fresh_run dev
rm -f "$run/data.mvt"  # the loose tree is what development mode reads
cp -r "$SOURCE_DIR/data" "$run/data"
printf 'width 640 height 360 flags -2147483648 samples 0 vsync 0\n' >"$run/default.cfg"
(cd "$run" && exec timeout -k 5 120 ./festoonery --dev >out.log 2>err.log) &
pid=$!

# key KEY REGEX: presses the key and waits for the log line it must bring.
key() {
    press_in_window "$w" "$1"
    wait_for "$run/out.log" "$2" || fail "after $1: no line /$2/"
}

wait_for "$run/out.log" '=== Done loading 5 scene\(s\) ===' || fail "the production did not load"
if w=$(sdl_window); then
    size=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')
    [ "$size" = 640x360 ] || fail "window: $size"
    key 3 '\[dev\] seek to beat 52\.00$'
    key space '\[dev\] paused at beat [0-9.]+$'
    sleep 0.5
    key space '\[dev\] resumed at beat [0-9.]+$'
    paused=$(grep -oE 'paused at beat [0-9.]+' "$run/out.log" | tail -1 | cut -d' ' -f4)
    resumed=$(grep -oE 'resumed at beat [0-9.]+' "$run/out.log" | tail -1 | cut -d' ' -f4)
    [ "$paused" = "$resumed" ] && [ -n "$paused" ] || fail "the beat moved while paused: $paused, $resumed"
    key Right '\[dev\] seek to beat 5[6-9]\.[0-9]+$'
    key l '\[dev\] loop beats 32\.00 to 64\.00$'
    key l '\[dev\] loop off$'
    key r '\[dev\] reloaded 21 shader programs and the sync description$'
    printf '#version 120\nvoid main() { gl_FragColor = broken; }\n' \
        >"$run/data/common/shaders/billboard.frag"
    wait_for "$run/out.log" \
        '\[dev\] shader billboard\.vert \+ billboard\.frag failed to build, keeping the previous program$' \
        || fail "no line for the broken shader"
    wait_for "$run/out.log" '\[dev\] reloaded 20 shader programs' || fail "the edit did not reload"
    printf '<modulators stream_filename=' >"$run/data/common/music/Festoonery.xml"
    wait_for "$run/out.log" '\[dev\] reloaded 20 shader programs, kept the previous sync description$' \
        || fail "a description that does not parse was not kept out"
    key Home '\[dev\] seek to beat 0\.00$'
    kill -0 "$pid" 2>/dev/null || fail "the run ended after the broken shader"
    press_in_window "$w" Escape
else
    fail "no window found"
fi
finish
expect_status 0 "$status"
grep -q 'Fragment shader compile failed' "$run/out.log" || fail "no info log for the broken shader"
grep -q '^\[box\]' "$run/err.log" && fail "unexpected box: $(grep '^\[box\]' "$run/err.log")"
[ -e "$run/default.cfg" ] && grep -q -- '-2147483648' "$run/default.cfg" || fail "the settings file was rewritten"
report
