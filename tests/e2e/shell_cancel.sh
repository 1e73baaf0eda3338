#!/usr/bin/env bash
# Cancelling the setup dialog: the log shows the SDL version, the settings line and
# "Bye!", no window opens, default.cfg is neither written nor touched, status 0.
source "$(dirname "$0")/lib_shell.sh"

fresh_run no_file
export FESTOONERY_UI=script FESTOONERY_ANSWERS=cancel
start_festoonery
finish
expect_status 0 "$status"
expect_log "$run/out.log" \
    'Using SDL version 1\.2\.[0-9]+' \
    'No default configuration file found\.\.\. oh well, moving on\.' \
    'Bye!'
[ -e "$run/default.cfg" ] && fail "default.cfg was written"
expect_contains "$run/err.log" "[dialog] Festoonery! | Choose resolution; (1920x1080 of 18); Anti-aliasing; (4x of 5); <&Runit>; <&Nah>; [x] &Fullscreen; [x] &Vsync enable"
expect_contains "$run/err.log" "[dialog] answered cancel"

fresh_run file_untouched
printf 'width 800\nheight 600\nsamples 3\n' >"$run/default.cfg"
touch -d '2001-02-03 04:05:06' "$run/default.cfg"
before=$(stat -c '%Y %s' "$run/default.cfg")
start_festoonery
finish
expect_status 0 "$status"
expect_log "$run/out.log" \
    'Using SDL version 1\.2\.[0-9]+' \
    'Loading default configuration from default\.cfg' \
    'Unrecognzed number of default samples, going for zero' \
    'Bye!'
expect_file "$run/default.cfg" $'width 800\nheight 600\nsamples 3'
[ "$(stat -c '%Y %s' "$run/default.cfg")" = "$before" ] || fail "default.cfg was rewritten"
[ "$(ls "$run" | grep -vx data.mvt)" = $'default.cfg\nerr.log\nfestoonery\nout.log' ] || fail "stray files: $(ls "$run")"

fresh_run sdl_fails
SDL_VIDEODRIVER=no_such_driver start_festoonery
finish
expect_status 1 "$status"
grep -qE '^\[box\] Error in file src/main/main\.cpp:[0-9]+ \| Error in file src/main/main\.cpp:[0-9]+\\n\\nVideo initialization failed: .+\\n$' "$run/err.log" \
    || { fail "no video initialisation box"; cat "$run/err.log"; }
expect_log "$run/out.log"

report
