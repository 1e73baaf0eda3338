#!/usr/bin/env bash
# festoonery --dev driven by keys as a demo maker uses it: no dialog, windowed although
# the settings ask for full screen, assets from the loose tree; seek, pause (the beat
# stands still), loop, reload by key and by editing a shader (a broken one is kept out
# and the run goes on), reload errors in the sync description kept out with their
# reason, another music file while paused, images and fonts watched, a shader saved in
# two steps, and Escape ends with status 0.
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

# since: the log's line count now. wait_since N REGEX: waits for such a line after line N.
since() { wc -l <"$run/out.log"; }
wait_since() {
    for _ in $(seq 1 300); do
        tail -n +"$(($1 + 1))" "$run/out.log" | grep -qE -- "$2" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
lines_since() { tail -n +"$(($1 + 1))" "$run/out.log"; }

wait_for "$run/out.log" '=== Done loading 5 scene\(s\) ===' || fail "the production did not load"
wait_for "$run/out.log" '\[dev\] kept [0-9]+ states of the simulation for seeks' || fail "no states kept for seeks"
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
    wait_for "$run/out.log" '\[dev\] kept the previous sync description$' \
        || fail "a description that does not parse was not kept out"

    # A description that parses but names an unknown track is kept out too, with its reason.
    music="$run/data/common/music"
    cp "$SOURCE_DIR/data/common/music/Festoonery.xml" "$run/good.xml"
    n=$(since)
    sed 's/association="Drums"/association="Drumz"/' "$run/good.xml" >"$music/Festoonery.xml"
    wait_since "$n" '\[dev\] kept the previous sync description$' || fail "an association typo was not kept out"
    lines_since "$n" | grep -q "not reloaded: No MIDI track named 'Drumz'" || fail "no reason for the typo"

    # Another music file while paused: the position and the paused state stay.
    n=$(since)
    press_in_window "$w" space
    wait_since "$n" '\[dev\] paused at beat [0-9.]+$' || fail "no pause"
    paused=$(lines_since "$n" | grep -oE 'paused at beat [0-9.]+' | tail -1 | cut -d' ' -f4)
    n=$(since)
    cp "$music/Festoonery.ogg" "$music/Other.ogg"
    sed 's/Festoonery\.ogg/Other.ogg/' "$run/good.xml" >"$music/Festoonery.xml"
    wait_since "$n" 'streaming file' || fail "the other music file was not loaded"
    wait_since "$n" '\[dev\] reloaded the sync description$' || fail "the other music file was not taken"
    sleep 0.5
    n=$(since)
    press_in_window "$w" space
    wait_since "$n" '\[dev\] resumed at beat [0-9.]+$' || fail "no resume"
    resumed=$(lines_since "$n" | grep -oE 'resumed at beat [0-9.]+' | tail -1 | cut -d' ' -f4)
    [ "$paused" = "$resumed" ] || fail "another music file moved the paused position: $paused, then $resumed"

    # Images and fonts are watched: a picture saved through a temporary file, a font in place.
    n=$(since)
    cp "$SOURCE_DIR/data/common/images/cokie_the_clown.jpg" "$run/picture.tmp"
    mv -f "$run/picture.tmp" "$run/data/common/images/cokie_the_clown.jpg"
    cat "$SOURCE_DIR/data/common/fonts/courier_new.ttf" >"$run/data/common/fonts/courier_new.ttf"
    wait_since "$n" '\[dev\] reloaded data/common/images/cokie_the_clown\.jpg$' || fail "the picture was not reloaded"
    wait_since "$n" '\[dev\] reloaded data/common/fonts/courier_new\.ttf$' || fail "the font was not reloaded"

    # A shader saved in two steps (emptied, then written) is taken once, whole.
    n=$(since)
    : >"$run/data/common/shaders/billboard.frag"
    sleep 0.1
    cat "$SOURCE_DIR/data/common/shaders/billboard.frag" >"$run/data/common/shaders/billboard.frag"
    wait_since "$n" '\[dev\] reloaded 21 shader programs$' || fail "the shader saved in two steps was not taken"
    sleep 1
    lines_since "$n" | grep -q 'failed to build' && fail "a half-saved shader was taken: $(lines_since "$n" | grep 'failed to build')"
    [ "$(lines_since "$n" | grep -c 'reloaded 21 shader programs')" = 1 ] || fail "the two-step save reloaded more than once"
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
