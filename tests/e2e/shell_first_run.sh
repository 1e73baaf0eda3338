#!/usr/bin/env bash
# A viewer's first run: --help and --version answer and touch nothing, with or without
# a display; a run without a display ends with the video box and no terminal control
# codes; 16x anti-aliasing on a display without it falls back to what the display has
# (one log line, the settings file keeps 16); the GTK dialog opens centred on the screen;
# SIGTERM while the dialog is open and SIGINT while the demo loads end the run in order
# with status 0 and leave the settings file as it was.
source "$(dirname "$0")/lib_shell.sh"

# only_program_files: the run folder holds nothing but what fresh_run put there and the
# two logs.
only_program_files() {
    local left
    left=$(ls "$run" | grep -vxE 'festoonery|data\.mvt|out\.log|err\.log')
    [ -z "$left" ] || fail "files left in the run folder: $left"
}

for with_display in yes no; do
    fresh_run "help_display_$with_display"
    if [ $with_display = yes ]; then
        (cd "$run" && timeout 10 ./festoonery --help >out.log 2>err.log)
    else
        (cd "$run" && env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 ./festoonery --dev --help >out.log 2>err.log)
    fi
    expect_status 0 $?
    grep -q '^Usage: festoonery \[--dev\] \[--words LIST | --words-file FILE\]$' "$run/out.log" || fail "no usage: $(head -3 "$run/out.log")"
    grep -q "^ *festoonery-capture  " "$run/out.log" || fail "usage names no tools"
    [ -s "$run/err.log" ] && fail "stderr: $(cat "$run/err.log")"
    only_program_files
done
fresh_run version
(cd "$run" && env -u DISPLAY timeout 10 ./festoonery --version ignored >out.log 2>err.log)
expect_status 0 $?
grep -qxE 'festoonery [0-9]+\.[0-9]+\.[0-9]+' "$run/out.log" || fail "version: $(cat "$run/out.log")"
only_program_files

# No display: SDL may not fall back to a driver that draws into the terminal.
fresh_run no_display
(cd "$run" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER FESTOONERY_UI=script \
    timeout 20 ./festoonery >out.log 2>err.log)
expect_status 1 $?
grep -qE '^\[box\] Error in file src/main/main\.cpp:[0-9]+ \| .*Video initialization failed: ' "$run/err.log" ||
    fail "no video box: $(cat "$run/err.log")"
grep -q $'\e' "$run/out.log" "$run/err.log" && fail "terminal control codes in the output"
only_program_files

# 16x on Xvfb (which has 4x at most): 4x, one line, and the file keeps 16.
fresh_run sixteen_samples
export FESTOONERY_UI=script FESTOONERY_ANSWERS=ok
printf 'width 640 height 480 flags 0 samples 16 vsync 0\n' >"$run/default.cfg"
start_festoonery
wait_for "$run/out.log" 'Using GLEW' || fail "no GLEW line: $(cat "$run/err.log")"
if w=$(sdl_window); then press_in_window "$w" Escape; else fail "no window"; fi
finish
expect_status 0 "$status"
expect_log_starts "$run/out.log" \
    'Using SDL version 1\.2\.[0-9]+' \
    'Loading default configuration from default\.cfg' \
    'Saving default configuration to default\.cfg' \
    'Anti-aliasing: the display offers no 16x, using [248]x' \
    'Created 640x480 surface with [248] samples' \
    'Using GLEW [0-9.]+'
expect_file "$run/default.cfg" $'width 640\nheight 480\nflags 0\nsamples 16\nvsync 0'
grep -q '^\[box\]' "$run/err.log" && fail "a box: $(grep '^\[box\]' "$run/err.log")"

# No count works (SDL's dummy video driver has no OpenGL): the video mode box.
fresh_run no_mode_at_all
printf 'width 640 height 480 flags 0 samples 16 vsync 0\n' >"$run/default.cfg"
SDL_VIDEODRIVER=dummy start_festoonery
finish
expect_status 1 "$status"
grep -qE '^\[box\] Error in file src/main/main\.cpp:[0-9]+ \| .*Video mode set failed: ' "$run/err.log" ||
    fail "no video mode box: $(cat "$run/err.log")"
grep -q 'Anti-aliasing' "$run/out.log" && fail "a fallback line without a window"

# SIGINT while loading (started so that SIGINT is not ignored, as it is for a background
# job): the run ends in order, status 0, the file as the dialog saved it.
fresh_run sigint_while_loading
printf 'width 640 height 480 flags 0 samples 0 vsync 0\n' >"$run/default.cfg"
(cd "$run" && exec timeout -k 5 60 env --default-signal=INT ./festoonery >out.log 2>err.log) &
pid=$!
wait_for "$run/out.log" 'Using GLEW' || fail "no GLEW line"
kill -INT "$(program_pid)"
finish
expect_status 0 "$status"
expect_file "$run/default.cfg" $'width 640\nheight 480\nflags 0\nsamples 0\nvsync 0'
grep -q '^\[box\]' "$run/err.log" && fail "a box: $(grep '^\[box\]' "$run/err.log")"

# The GTK dialog: centred on the 1920x1080 screen; SIGTERM cancels it.
export FESTOONERY_UI=gtk
unset FESTOONERY_ANSWERS
fresh_run sigterm_in_dialog
printf 'width 800\nheight 600\nflags 0\n' >"$run/default.cfg"
touch -d '2001-02-03 04:05:06' "$run/default.cfg"
before=$(stat -c '%Y %s' "$run/default.cfg")
start_festoonery
w=
for _ in $(seq 1 100); do
    w=$(xdotool search --onlyvisible --name '^Festoonery!$' 2>/dev/null | head -1)
    [ -n "$w" ] && break
    sleep 0.1
done
if [ -n "$w" ]; then
    sleep 0.5  # mapped: its final place
    geometry=$(xdotool getwindowgeometry "$w")
    read -r x y < <(echo "$geometry" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    read -r cw ch < <(echo "$geometry" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    cx=$((x + cw / 2)) cy=$((y + ch / 2))
    { [ $((cx - 960)) -ge -2 ] && [ $((cx - 960)) -le 2 ] && [ $((cy - 540)) -ge -2 ] && [ $((cy - 540)) -le 2 ]; } ||
        fail "dialog at $x,$y size ${cw}x$ch: centre $cx,$cy, not 960,540"
    kill -TERM "$(program_pid)"
else
    fail "no GTK dialog"
fi
finish
expect_status 0 "$status"
expect_log "$run/out.log" 'Using SDL version 1\.2\.[0-9]+' 'Loading default configuration from default\.cfg' 'Bye!'
[ "$(stat -c '%Y %s' "$run/default.cfg")" = "$before" ] || fail "default.cfg was rewritten"

report
