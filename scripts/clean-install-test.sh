#!/usr/bin/env bash
# Installs the Debian package on a fresh minimal Debian 12 system, as a new user would,
# and plays it there:
#   bash scripts/clean-install-test.sh [--keep] [PACKAGE.deb]
# PACKAGE.deb defaults to build/festoonery_*.deb (made by scripts/package.sh).
#
# 1. mmdebstrap makes a minimal bookworm root (variant apt) from this machine's own apt
#    sources (/etc/apt/sources.list and sources.list.d; FESTOONERY_APT_SOURCES="FILE..."
#    names others) in a scratch folder under ${TMPDIR:-/var/tmp}.
# 2. `apt-get install ./PACKAGE.deb` there, with its recommendations, as the README says.
# 3. Xvfb (installed there afterwards, not counted with the package) and, as an ordinary
#    user in an empty folder, `festoonery` to the end of the music: no sound device (the
#    root's /dev has none), no sound server, no network, software OpenGL; status 0
#    wanted. Then `festoonery-capture` writes two seconds of frames.
#    With festoonery-dev_*.deb beside PACKAGE.deb, that too (and g++): examples/hello
#    built against it as the user, its --help and a capture; then it is purged.
# 4. `apt-get remove festoonery`: every file it had installed must be gone; then Xvfb and
#    every package pulled in are purged, and any package left over is listed.
# Prints the figures (seconds per step, packages, download and disk sizes) and ends with
# status 0 only when every step passed. Needs root (it mounts /proc, /sys and /dev/pts
# into the root and chroots; started as a user it asks sudo), mmdebstrap (package
# mmdebstrap) and the Debian archive. --keep leaves the root in place for a look.
set -uo pipefail
export LC_ALL=C

keep=0
deb=
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) deb=$arg ;;
  esac
done
repo=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "clean-install: FAIL: $*" >&2; exit 1; }

if [ -z "$deb" ]; then
  deb=$(ls "$repo"/build/festoonery_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || die "no package given and none in build/: run bash scripts/package.sh first"
fi
[ -f "$deb" ] || die "$deb: no such file"
deb=$(readlink -f "$deb")
[ "$(dpkg-deb -f "$deb" Package 2>/dev/null)" = festoonery ] \
  || die "$deb is not the festoonery package"

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || die "needs root (mounts and chroot), and sudo is missing"
  echo "clean-install: needs root for the mounts and the chroot; asking sudo"
  exec sudo --preserve-env=TMPDIR,FESTOONERY_APT_SOURCES,http_proxy,https_proxy \
    bash "$0" $([ "$keep" = 1 ] && echo --keep) "$deb"
fi
command -v mmdebstrap >/dev/null || bash "$repo/scripts/deps.sh" clean-install \
  || die "mmdebstrap is missing and could not be installed (apt-get install mmdebstrap)"

# The machine's own apt sources, as mmdebstrap takes them: one file per argument.
if [ -n "${FESTOONERY_APT_SOURCES:-}" ]; then
  read -r -a sources <<<"$FESTOONERY_APT_SOURCES"
else
  sources=()
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*(deb|Types:)' "$f" && sources+=("$f")
  done
fi
[ ${#sources[@]} -gt 0 ] || die "no apt sources found in /etc/apt (set FESTOONERY_APT_SOURCES)"

scratch=${TMPDIR:-/var/tmp}
free_kb=$(df -Pk "$scratch" | awk 'NR == 2 { print $4 }')
[ "${free_kb:-0}" -ge $((2 * 1024 * 1024)) ] \
  || die "$scratch has $((free_kb / 1024)) MiB free; the root needs about 2 GiB (set TMPDIR)"
work=$(mktemp -d "$scratch/festoonery-clean.XXXXXX") || die "no scratch folder in $scratch"
work=$(readlink -f "$work")  # as /proc/PID/root names it
root=$work/root
log=$work/log
mkdir -p "$log"

# --- clean-up: whatever happens, nothing stays mounted and nothing keeps running ------
mounted=()
xvfb_pid=
netns_pid=
cleanup() {
  local status=$? pid left
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "$netns_pid" ] && kill "$netns_pid" 2>/dev/null && wait "$netns_pid" 2>/dev/null
  # Processes started inside the root (a hung demo, a daemon a package started).
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] || continue
    echo "clean-install: ending process $pid left in the root: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    kill -9 "$pid" 2>/dev/null
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null \
      || echo "clean-install: could not unmount ${mounted[i]}" >&2
  done
  left=$(awk -v r="$root/" 'index($5 "/", r) == 1 { print $5 }' /proc/self/mountinfo)
  if [ -n "$left" ]; then
    # Never remove a folder with the machine's /dev or /sys still mounted below it.
    echo "clean-install: still mounted, $work NOT removed: $left" >&2
  elif [ "$keep" = 1 ]; then
    echo "clean-install: root kept in $root (remove it with rm -rf --one-file-system $work)"
  elif [ "$status" != 0 ]; then
    rm -rf --one-file-system "$root"
    echo "clean-install: logs kept in $log"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_into() {  # mount_into TARGET MOUNT-ARGUMENTS...: mounts, and records it for clean-up
  local target=$root$1
  shift
  mount "$@" "$target" || die "mount $* $target failed (root needed, and a kernel that lets it mount)"
  mounted+=("$target")
}

# in_root COMMAND...: runs in the root with a clean environment (none of this shell's
# DISPLAY, SDL or GL settings leak in), as root, C locale for output that is parsed.
in_root() {
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive ${http_proxy:+http_proxy=$http_proxy} \
    ${https_proxy:+https_proxy=$https_proxy} "$@"
}
# The display and the programs on it run in a network namespace of their own: no other
# X server on this machine is in reach (their abstract sockets live in the namespace), and
# the run has no network, as an offline machine.
in_netns() { nsenter -F --net="/proc/$netns_pid/ns/net" "$@"; }
as_viewer() {  # as_viewer COMMAND...: in the root and the namespace, as the user "viewer"
  in_netns chroot --userspec=1000:1000 "$root" env -i PATH=/usr/bin:/bin \
    HOME=/home/viewer USER=viewer LC_ALL=C.UTF-8 "$@"
}
step_start() { step_t0=$(date +%s.%N); echo "clean-install: $*"; }
step_seconds() { awk -v a="$step_t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
packages_in_root() { in_root dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | sort; }
# The root's size in MB, without apt's package lists and downloaded .deb files.
disk_mb() {
  du -sxm --exclude="$root/var/cache/apt" --exclude="$root/var/lib/apt/lists" "$root" | cut -f1
}
failures=0
fail() { echo "clean-install: FAIL: $*"; failures=$((failures + 1)); }
t_all=$(date +%s)

# --- 1. a minimal Debian 12 -----------------------------------------------------------
step_start "making a minimal Debian 12 root in $root from ${sources[*]}"
mmdebstrap --variant=apt bookworm "$root" "${sources[@]}" >"$log/mmdebstrap.log" 2>&1 \
  || { tail -n 20 "$log/mmdebstrap.log"; die "mmdebstrap failed (log above)"; }
t_root=$(step_seconds)
# No service starts in the root (Debian's convention for chroots: policy-rc.d says 101).
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount_into /proc -t proc proc
mount_into /sys -t sysfs -o ro,nosuid,nodev,noexec sysfs
mount_into /dev/pts --bind /dev/pts
ls "$root/dev" | grep -qx snd && die "the root has a sound device; it must have none"
base_packages=$(packages_in_root)
base_disk=$(disk_mb)
echo "clean-install: root made in $t_root s: $(wc -l <<<"$base_packages") packages, $base_disk MB"

# --- 2. the package, as the README installs it ----------------------------------------
step_start "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq >"$log/update.log" 2>&1 \
  || { tail -n 20 "$log/update.log"; die "apt-get update in the root failed"; }
in_root apt-get install -y "./tmp/$(basename "$deb")" >"$log/install.log" 2>&1 \
  || { tail -n 30 "$log/install.log"; die "apt-get install of the package failed (log above)"; }
t_install=$(step_seconds)
newly=$(grep -oE '[0-9]+ newly installed' "$log/install.log" | cut -d' ' -f1)
download=$(sed -n 's/^Need to get \(.*\) of archives\.$/\1/p' "$log/install.log")
disk_apt=$(sed -n 's/^After this operation, \(.*\) of additional disk space will be used\.$/\1/p' "$log/install.log")
pkg_packages=$(packages_in_root)
pkg_disk=$(disk_mb)
echo "clean-install: installed in $t_install s: $newly packages, festoonery and $((${newly:-1} - 1)) more ($download to" \
     "download, apt says $disk_apt on disk; the root grew by $((pkg_disk - base_disk)) MB)"
in_root dpkg-query -L festoonery | while read -r path; do
  [ -d "$root$path" ] || echo "$path"
done >"$work/files"
[ -s "$work/files" ] || fail "dpkg lists no files for festoonery"
for program in festoonery festoonery-capture festoonery-tool festoonery-launcher; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is missing"
done

# --- 3. play it to the end, then capture ----------------------------------------------
step_start "installing xvfb (for the display only, not counted above)"
in_root apt-get install -y --no-install-recommends xvfb >"$log/xvfb.log" 2>&1 \
  || { tail -n 20 "$log/xvfb.log"; die "apt-get install xvfb failed"; }
echo "viewer:x:1000:1000:Viewer:/home/viewer:/bin/sh" >>"$root/etc/passwd"
echo "viewer:x:1000:" >>"$root/etc/group"
mkdir -p "$root/home/viewer/play"
chown -R 1000:1000 "$root/home/viewer"

unshare --net sleep infinity &
netns_pid=$!
for _ in $(seq 1 50); do [ -e "/proc/$netns_pid/ns/net" ] && \
  [ "$(readlink "/proc/$netns_pid/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break; sleep 0.1; done
in_netns true || die "no network namespace of its own (unshare --net) for the display"
: >"$work/display"
# nsenter itself, not the function: in the background that would be a subshell, and
# $! would not be the server's process.
nsenter -F --net="/proc/$netns_pid/ns/net" chroot "$root" env -i PATH=/usr/bin:/bin \
  Xvfb -displayfd 3 -screen 0 1280x720x24 -noreset \
  -nolisten tcp 3>"$work/display" >"$log/xvfb-server.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$log/xvfb-server.log"; die "Xvfb did not start in the root"; }
display=:$(head -1 "$work/display")
# The server names its display before its first client is served: a client that came
# at once was refused ("Couldn't open X11 display"). Wait until one is answered. Without
# -noreset the probe's own disconnect would reset the server, and the client after it
# would come in the middle of that reset and be refused the same way.
for _ in $(seq 1 100); do [ -S "$root/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
if command -v xdotool >/dev/null; then
  answered=
  for _ in $(seq 1 100); do
    in_netns env -i DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 \
      && answered=1 && break
    sleep 0.1
  done
  [ -n "$answered" ] || { cat "$log/xvfb-server.log"; die "Xvfb on $display answered no client in 10 s"; }
else
  sleep 2
fi

step_start "playing in an empty folder as user viewer on $display (no sound device)"
as_viewer DISPLAY="$display" FESTOONERY_UI=script FESTOONERY_ANSWERS=ok \
  timeout 600 sh -c 'cd "$HOME/play" && exec festoonery' >"$log/play.log" 2>"$log/play.err"
play_status=$?
t_play=$(step_seconds)
echo "clean-install: played for $t_play s, status $play_status; its audio lines:"
grep -i 'audio\|sound' "$log/play.log" | sed 's/^/    /'
if [ "$play_status" != 0 ]; then
  fail "festoonery ended with status $play_status: $(tail -n 5 "$log/play.log" "$log/play.err")"
elif awk -v t="$t_play" 'BEGIN { exit !(t < 45) }'; then
  # The soundtrack lasts about a minute: a run this short did not play to its end.
  fail "festoonery ended with status 0 after only $t_play s: $(tail -n 5 "$log/play.log")"
fi
echo "clean-install: the folder after the run: $(ls -A "$root/home/viewer/play" | tr '\n' ' ')"

step_start "festoonery-capture --size 320x180 --fps 5 --from 0s --to 2s frames"
as_viewer DISPLAY="$display" sh -c 'cd "$HOME" && exec festoonery-capture --size 320x180 \
  --fps 5 --from 0s --to 2s frames' >"$log/capture.log" 2>&1
capture_status=$?
t_capture=$(step_seconds)
frames=$(ls "$root/home/viewer/frames" 2>/dev/null | grep -c '^frame_[0-9]*\.png$')
distinct=$(cd "$root/home/viewer/frames" 2>/dev/null && md5sum frame_*.png | cut -d' ' -f1 | sort -u | wc -l)
echo "clean-install: captured $frames frames ($distinct distinct) in $t_capture s, status $capture_status"
if [ "$capture_status" != 0 ] || [ "$frames" -lt 10 ]; then
  fail "festoonery-capture (status $capture_status, $frames frames): $(tail -n 5 "$log/capture.log")"
fi

# --- 3b. festoonery-dev beside it: a production built against the installed engine ----
# Its Depends must bring everything the headers and static libraries need: only a C++
# compiler is added. examples/hello, copied into the user's home, builds with no path
# given (find_package looks in /usr), names itself and captures its frames.
dev_deb=$(ls "$(dirname "$deb")"/festoonery-dev_*.deb 2>/dev/null | head -1)
t_dev=-
if [ -n "$dev_deb" ]; then
  step_start "apt-get install ./$(basename "$dev_deb") g++, then examples/hello built against it"
  cp "$dev_deb" "$root/tmp/"
  if in_root apt-get install -y --no-install-recommends "./tmp/$(basename "$dev_deb")" g++ make \
       >"$log/install-dev.log" 2>&1; then
    cp -r "$repo/examples/hello" "$root/home/viewer/hello"
    chown -R 1000:1000 "$root/home/viewer/hello"
    as_viewer DISPLAY="$display" sh -c 'cd "$HOME" && cmake -S hello -B hello-build >/dev/null &&
      cmake --build hello-build -j2 && hello-build/run/hello --help | head -1 &&
      cd hello-build/run && ./hello --capture "$HOME/hello-frames" --size 96x54 --fps 5 --to 1s --quiet' \
      >"$log/dev-build.log" 2>&1
    dev_status=$?
    hello_frames=$(ls "$root/home/viewer/hello-frames" 2>/dev/null | grep -c '^frame_[0-9]*\.png$')
    if [ "$dev_status" = 0 ] && grep -q '^Usage: hello ' "$log/dev-build.log" && [ "$hello_frames" -ge 5 ]; then
      echo "clean-install: hello built against festoonery-dev, --help names it, captured $hello_frames frames"
    else
      fail "hello against festoonery-dev (status $dev_status, $hello_frames frames): $(tail -n 5 "$log/dev-build.log")"
    fi
  else
    tail -n 20 "$log/install-dev.log"
    fail "apt-get install of festoonery-dev failed (log above)"
  fi
  in_root apt-get purge -y --autoremove festoonery-dev g++ make >"$log/remove-dev.log" 2>&1 \
    || fail "apt-get purge festoonery-dev failed: $(tail -n 5 "$log/remove-dev.log")"
  t_dev=$(step_seconds)
fi
kill "$xvfb_pid" "$netns_pid" 2>/dev/null && wait "$xvfb_pid" "$netns_pid" 2>/dev/null
xvfb_pid= netns_pid=

# --- 4. remove it: nothing of it may stay ---------------------------------------------
step_start "apt-get remove festoonery"
in_root apt-get remove -y festoonery >"$log/remove.log" 2>&1 \
  || { tail -n 20 "$log/remove.log"; die "apt-get remove festoonery failed"; }
t_remove=$(step_seconds)
left_files=$(while read -r path; do [ -e "$root$path" ] || [ -L "$root$path" ] && echo "$path"; done <"$work/files")
left_dirs=$(for d in /usr/share/festoonery /usr/share/doc/festoonery; do [ -e "$root$d" ] && echo "$d"; done)
state=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' festoonery 2>/dev/null)
echo "clean-install: removed in $t_remove s; dpkg knows it as '${state:-not installed, no trace}'"
[ -z "$left_files$left_dirs" ] || fail "left after apt-get remove: $left_files $left_dirs"
case $state in ''|un*|pn*) ;; *) fail "festoonery is still known to dpkg as '$state'" ;; esac

in_root apt-get purge -y --autoremove xvfb >"$log/autoremove.log" 2>&1 \
  || { tail -n 20 "$log/autoremove.log"; die "apt-get purge --autoremove failed"; }
extra=$(comm -13 <(echo "$base_packages") <(packages_in_root))
echo "clean-install: after purging xvfb and everything pulled in: $(wc -l < <(packages_in_root))" \
     "packages ($(wc -l <<<"$base_packages") before), root $(disk_mb) MB ($base_disk MB before)"
# Not a fault of the package: apt's autoremove keeps what it counts as part of the base
# system (Priority required or important) once it is installed, whoever pulled it in.
for p in $extra; do
  echo "clean-install: left installed: $p ($(in_root dpkg-query -W -f='Priority ${Priority}' "$p"))"
done

echo "clean-install: figures: root $t_root s, install $t_install s ($newly packages," \
     "$download download, $disk_apt on disk), play $t_play s (status $play_status)," \
     "capture $t_capture s ($frames frames), festoonery-dev $t_dev s, remove $t_remove s; in all $(($(date +%s) - t_all)) s"
if [ "$failures" = 0 ]; then
  echo "clean-install: ok: nothing of festoonery left after removal"
else
  echo "clean-install: $failures failure(s)"
fi
[ "$failures" = 0 ]
