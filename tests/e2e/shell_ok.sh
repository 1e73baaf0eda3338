#!/usr/bin/env bash
# Confirming the setup dialog: the settings are saved (without the OpenGL and resize
# bits), the window opens at the chosen size, the samples line reports what OpenGL
# made, and Escape ends the run with status 0.
source "$(dirname "$0")/lib_shell.sh"
export FESTOONERY_UI=script FESTOONERY_ANSWERS=ok

# run_until_escape SAMPLES-REGEX SIZE: one confirmed run in $run, ended by Escape.
run_until_escape() {
    start_festoonery
    wait_for "$run/out.log" 'Using GLEW' || fail "no GLEW line"
    local w
    if w=$(sdl_window); then
        local size
        size=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')
        [ "$size" = "$2" ] || fail "window size: expected $2, got $size"
        press_in_window "$w" Escape
    else
        fail "no window found"
    fi
    finish
    expect_status 0 "$status"
}

fresh_run windowed
printf 'width 800\nheight 600\nflags 0\nsamples 4\nvsync 1\n' >"$run/default.cfg"
run_until_escape 4 800x600
expect_log_starts "$run/out.log" \
    'Using SDL version 1\.2\.[0-9]+' \
    'Loading default configuration from default\.cfg' \
    'Saving default configuration to default\.cfg' \
    'Created 800x600 surface with 4 samples' \
    'Using GLEW [0-9]+\.[0-9]+\.[0-9]+'
expect_file "$run/default.cfg" $'width 800\nheight 600\nflags 0\nsamples 4\nvsync 1'
expect_contains "$run/err.log" "[dialog] answered ok"
grep -q '^\[box\]' "$run/err.log" && fail "unexpected box: $(grep '^\[box\]' "$run/err.log")"

fresh_run no_multisampling
printf 'width 640 height 480 flags 0 samples 0 vsync 0' >"$run/default.cfg"
run_until_escape 0 640x480
expect_contains "$run/out.log" "Created 640x480 surface with 0 samples"
expect_file "$run/default.cfg" $'width 640\nheight 480\nflags 0\nsamples 0\nvsync 0'

fresh_run stored_size_not_offered
printf 'width 700 height 500 flags 0 samples 2\n' >"$run/default.cfg"
run_until_escape 2 640x480
# Mesa may give more samples than asked for; the line reports what OpenGL made.
grep -qE ' Created 640x480 surface with [1-9][0-9]* samples$' "$run/out.log" || fail "samples line: $(cat "$run/out.log")"
expect_file "$run/default.cfg" $'width 640\nheight 480\nflags 0\nsamples 2\nvsync 1'

# A key longer than the reader's 4,991 characters: its rest is read as the value, and the
# pairs after it apply. default.cfg is a link to a 0640 file elsewhere; both stay so.
fresh_run long_key_through_a_link
{ head -c 4991 /dev/zero | tr '\0' x; printf '123 width 800 height 600 flags 0 samples 0 vsync 0\n'; } \
    >"$run/../long_key.cfg"
chmod 0640 "$run/../long_key.cfg"
ln -s ../long_key.cfg "$run/default.cfg"
run_until_escape 0 800x600
[ -L "$run/default.cfg" ] || fail "default.cfg is no longer a link"
expect_file "$run/../long_key.cfg" $'width 800\nheight 600\nflags 0\nsamples 0\nvsync 0'
[ "$(stat -c %a "$run/../long_key.cfg")" = 640 ] || fail "mode: $(stat -c %a "$run/../long_key.cfg")"

# Fullscreen at the screen's own size (Xvfb's 1920x1080), the case that restarts SDL's
# video to draw without sdl12-compat's scaling framebuffer: it opens at that size and
# ends in order.
fresh_run fullscreen_at_the_screens_size
printf 'width 1920 height 1080 flags -2147483648 samples 0 vsync 0\n' >"$run/default.cfg"
run_until_escape 0 1920x1080
expect_contains "$run/out.log" "Got fullscreen, hiding cursor"

report
