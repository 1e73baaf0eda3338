#!/usr/bin/env bash
# `cmake --install` as a package build does it (DESTDIR, prefix /usr): the festoonery
# package's component exactly the expected files, the festoonery-dev one the engine's
# libraries, headers, CMake package and pkg-config file, a valid desktop entry and AppStream metainfo, man pages and changelog
# compressed with gzip -n -9, man pages that render without warnings; then, on a
# display, the installed programs run from folders of their own: the launcher in
# $XDG_CONFIG_HOME/festoonery, the demo finding the installed archive, and without it
# the places looked at logged before the fatal box.
set -uo pipefail
: "${SOURCE_DIR:?}" "${BUILD_DIR:?}" "${RUNTIME_DIR:?}"
work=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-install.XXXXXX") && [ -d "$work" ] \
  || { echo "FAIL: no scratch folder"; exit 1; }
. "$SOURCE_DIR/scripts/lib_xvfb.sh"
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

root=$work/root
DESTDIR=$root cmake --install "$BUILD_DIR" --prefix /usr --component runtime >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
usr=$root/usr

expected="bin/festoonery
bin/festoonery-capture
bin/festoonery-launcher
bin/festoonery-tool
share/applications/festoonery.desktop
share/doc/festoonery/changelog.gz
share/doc/festoonery/copyright
share/festoonery/data.mvt
share/metainfo/org.example.festoonery.metainfo.xml"
for size in 16 32 48 64 128 256; do
  expected+=$'\n'"share/icons/hicolor/${size}x${size}/apps/festoonery.png"
done
for page in festoonery festoonery-capture festoonery-launcher festoonery-tool; do
  expected+=$'\n'"share/man/man1/$page.1.gz"
done
got=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<<"$expected")
if [ "$got" = "$expected" ]; then pass "installed files"; else
  fail "installed files differ:"; diff <(echo "$expected") <(echo "$got"); fi
[ "$(ls "$root")" = usr ] && pass "nothing outside the prefix" || fail "outside the prefix: $(ls "$root")"
cmp -s "$usr/share/festoonery/data.mvt" "$RUNTIME_DIR/data.mvt" && pass "the build's archive" \
  || fail "share/festoonery/data.mvt is not the build's archive"

# The dev component: no file of the runtime's again (the two packages share none), the
# engine's libraries, its public headers (none of the shell's GTK backend nor the
# greeting's table), the CMake package and the common tree productions pack from.
devroot=$work/devroot
DESTDIR=$devroot cmake --install "$BUILD_DIR" --prefix /usr --component dev >"$work/install-dev.log" 2>&1 \
  || { cat "$work/install-dev.log"; echo "FAIL: cmake --install --component dev"; exit 1; }
dev=$(cd "$devroot/usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
shared=$(LC_ALL=C comm -12 <(echo "$got") <(echo "$dev"))
[ -z "$shared" ] && pass "runtime and dev components share no file" || fail "in both components: $shared"
missing=
for want in 'lib/.*libfestoonery_base\.a' 'lib/.*libfestoonery_engine\.a' 'lib/.*libfestoonery_scenes\.a' \
            'lib/.*libfestoonery_shell\.a' 'lib/.*libfestoonery_main\.a' \
            'lib/.*cmake/Festoonery/FestooneryConfig\.cmake' 'lib/.*cmake/Festoonery/FestooneryConfigVersion\.cmake' \
            'lib/.*cmake/Festoonery/FestooneryProduction\.cmake' 'lib/.*pkgconfig/festoonery\.pc' \
            'include/festoonery/log\.h' 'include/festoonery/recover\.h' 'include/festoonery/scenes/scene/scene\.h' \
            'include/festoonery/util/util/util\.h' 'share/festoonery/common/fonts/courier_new\.ttf' \
            'share/doc/festoonery-dev/copyright'; do
  grep -qx "$want" <<<"$dev" || missing+=" $want"
done
[ -z "$missing" ] && pass "dev component: libraries, headers, CMake and pkg-config files, common tree" \
  || fail "dev component lacks:$missing"
leaked=$(grep -E '^include/.*(gtk|production/)|\.cpp$|^bin/' <<<"$dev")
[ -z "$leaked" ] && pass "dev component holds no shell backend, table, source or program" \
  || fail "dev component holds: $leaked"
[ "$(ls "$devroot")" = usr ] && pass "dev: nothing outside the prefix" || fail "dev outside the prefix: $(ls "$devroot")"

if command -v desktop-file-validate >/dev/null; then
  if out=$(desktop-file-validate "$usr/share/applications/festoonery.desktop" 2>&1) && [ -z "$out" ]; then
    pass "desktop entry validates"
  else
    fail "desktop-file-validate: $out"
  fi
else
  echo "note: desktop-file-validate is missing (package desktop-file-utils): entry not validated"
fi
grep -qx 'Exec=festoonery-launcher' "$usr/share/applications/festoonery.desktop" \
  && grep -qx 'Icon=festoonery' "$usr/share/applications/festoonery.desktop" \
  && pass "entry runs the launcher with our icon" || fail "desktop entry's Exec or Icon"

if command -v appstreamcli >/dev/null; then
  metainfo=$usr/share/metainfo/org.example.festoonery.metainfo.xml
  if out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1); then
    pass "metainfo validates"
  else
    fail "appstreamcli validate: $out"
  fi
  grep -q '<launchable type="desktop-id">festoonery.desktop</launchable>' "$metainfo" \
    && pass "metainfo launches the installed menu entry" || fail "metainfo's launchable"
else
  echo "note: appstreamcli is missing (package appstream): metainfo not validated"
fi

# Compressed as Debian wants them: gzip without name or time stamp (two builds, same bytes).
for gz in "$usr"/share/man/man1/*.gz "$usr/share/doc/festoonery/changelog.gz"; do
  header=$(od -An -tx1 -N10 "$gz" | tr -d ' \n')
  # bytes 0-1 magic, 3 flags (0: no name), 4-7 time stamp (0), 8 extra flags (2: -9)
  [ "${header:0:4}" = 1f8b ] && [ "${header:6:10}" = 0000000000 ] && [ "${header:16:2}" = 02 ] \
    || fail "${gz#$usr/}: not gzip -n -9 (header $header)"
done
pass "compressed pages and changelog"

if command -v man >/dev/null; then
  for page in festoonery festoonery-capture festoonery-launcher festoonery-tool; do
    text=$(MANWIDTH=80 man --warnings -M "$usr/share/man" "$page" 2>"$work/man.err")
    if [ -s "$work/man.err" ]; then fail "man $page warns: $(cat "$work/man.err")"
    elif ! grep -q "^NAME" <<<"$text"; then fail "man $page: no NAME section"
    else pass "man $page"; fi
  done
else
  echo "note: man is missing (package man-db): pages not rendered"
fi

# --- the installed programs, run as a user would ------------------------------------
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then start_private_xvfb; fi
if [ -z "${DISPLAY:-}" ]; then
  [ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
  skip_without_display "no display for running the installed programs"
fi
export FESTOONERY_UI=script SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1
unset FESTOONERY_DATA

# start_until LOG PATTERN COMMAND...: runs COMMAND (stdout to LOG) until LOG shows
# PATTERN or it ends; prints its exit status, or "running" when it had to be stopped.
start_until() {
  local log=$1 pattern=$2
  shift 2
  : >"$log"  # before the start: the command may only open it after the first look
  "$@" >"$log" 2>"$log.err" &
  local pid=$!
  for _ in $(seq 1 600); do
    grep -q -- "$pattern" "$log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null
    echo running
  else
    wait "$pid"
    echo $?
  fi
}

# The launcher: a folder of its own under the configuration folder, created when
# missing, and the settings file there; the archive from the installed data folder.
for xdg in unset relative/path "$work/xdg"; do
  home=$work/home-${xdg//\//_}
  mkdir -p "$home"
  if [ "$xdg" = unset ]; then folder=$home/.config/festoonery; set -- env -u XDG_CONFIG_HOME
  elif [ "${xdg#/}" = "$xdg" ]; then folder=$home/.config/festoonery; set -- env XDG_CONFIG_HOME="$xdg"
  else folder=$xdg/festoonery; set -- env XDG_CONFIG_HOME="$xdg"; fi
  status=$(cd / && start_until "$work/launch.log" "Done reading datafile" \
           "$@" HOME="$home" FESTOONERY_ANSWERS=ok "$usr/bin/festoonery-launcher")
  if [ "$status" = running ] && [ -f "$folder/default.cfg" ] \
     && grep -q "Done reading datafile $usr/share/festoonery/data.mvt: " "$work/launch.log"; then
    pass "launcher with XDG_CONFIG_HOME $xdg: runs in $folder with the installed archive"
  else
    fail "launcher with XDG_CONFIG_HOME $xdg (status $status): $(ls -A "$folder" 2>&1 | tr '\n' ' ') $(tail -n 3 "$work/launch.log" "$work/launch.log.err")"
  fi
  [ "$(cd "$home" && find . -path ./.config -prune -o -print)" = . ] \
    || fail "launcher wrote into the home folder: $(ls -A "$home")"
done

# Without the installed archive: the places looked at, then the fatal box as always.
mkdir -p "$work/lonely/bin" "$work/empty"
cp "$usr/bin/festoonery" "$work/lonely/bin/"
status=$(cd "$work/empty" && start_until "$work/lonely.log" "never" \
         env FESTOONERY_ANSWERS=ok "$work/lonely/bin/festoonery")
if [ "$status" = 1 ] \
   && grep -qF "[DATA] No archive at data.mvt, $work/lonely/bin/data.mvt or $work/lonely/share/festoonery/data.mvt" "$work/lonely.log" \
   && grep -q '^\[box\] Error in file .* | .*Failed to open data file data\.mvt for reading\.' "$work/lonely.log.err"; then
  pass "no archive anywhere: places logged, fatal box, status 1"
else
  fail "no archive anywhere (status $status): $(tail -n 3 "$work/lonely.log" "$work/lonely.log.err")"
fi

echo "$failures failure(s)"
[ "$failures" = 0 ]
