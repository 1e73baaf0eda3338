#!/usr/bin/env bash
# Every production under examples/ as a demo maker keeps it, in a repository of its own:
# copied out of the tree and built two ways,
#   against the engine installed by `cmake --install` into a fresh prefix
#     (find_package(Festoonery) through CMAKE_PREFIX_PATH), and
#   with the engine's source tree as a subdirectory of its project
#     (add_subdirectory through FESTOONERY_ENGINE_SOURCE);
# each time its compile commands name only its own sources (the engine's come built, or
# under the engine's path), its --help names it, it plays whole with status 0, and
# neither its source folder nor the engine's tree changed by a byte. Its install rules
# put its program and archive under a prefix, where the program finds its archive; and
# its sources link with festoonery.pc's flags alone.
set -uo pipefail
: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"
. "$SOURCE_DIR/tests/e2e/lib_production.sh"
jobs=${FESTOONERY_JOBS:-2}

# Every file under a folder with its checksum (links as their targets): what "unchanged"
# is compared by.
listing() { (cd "$1" && find . \( -type f -o -type l \) -print0 | LC_ALL=C sort -z |
             xargs -0r sh -c 'for f; do if [ -L "$f" ]; then echo "link $f -> $(readlink "$f")";
                              else echo "$(sha256sum < "$f") $f"; fi; done' sh); }
# The engine's tree: its files as git sees them (tracked and untracked, not the ignored
# build folders, which the suite itself writes while this runs), or every file outside
# build*/ where it is no checkout.
engine_listing() {
  if git -C "$SOURCE_DIR" rev-parse --show-toplevel >/dev/null 2>&1; then
    (cd "$SOURCE_DIR" && git ls-files -z -co --exclude-standard | LC_ALL=C sort -z | xargs -0r sha256sum
     git status --porcelain --ignored | grep -v '^!! build[^/]*/$')
  else
    (cd "$SOURCE_DIR" && find . -path './build*' -prune -o -type f -print0 | LC_ALL=C sort -z | xargs -0r sha256sum)
  fi
}
engine_before=$(engine_listing)

prefix=$work/prefix
cmake --install "$BUILD_DIR" --prefix "$prefix" >"$work/install.log" 2>&1 \
  || { tail -5 "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
[ -f "$prefix/lib/cmake/Festoonery/FestooneryConfig.cmake" ] || [ -n "$(ls "$prefix"/lib/*/cmake/Festoonery/FestooneryConfig.cmake 2>/dev/null)" ] \
  && pass "cmake --install: the CMake package" || fail "no FestooneryConfig.cmake under $prefix"

# check_build NAME SOURCE BUILD HOW: the build's compile commands, --help, a whole play.
check_build() {
  local name=$1 src=$2 build=$3 how=$4 binary=$3/run/$1
  [ -x "$binary" ] || { fail "$name ($how): no program at build/run/$name"; return; }
  [ -f "$build/run/data.mvt" ] || fail "$name ($how): no data.mvt in build/run"
  # Only the production's own sources compiled here: every translation unit of the
  # installed build lies in its folder; beside the engine's sources, in either tree.
  local units
  units=$(python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
          "$build/compile_commands.json" 2>/dev/null)
  if [ -z "$units" ]; then fail "$name ($how): no compile commands"
  elif [ "$how" = installed ] && grep -qv "^$src/" <<<"$units"; then
    fail "$name ($how): compiles sources not its own: $(grep -v "^$src/" <<<"$units" | head -3 | tr '\n' ' ')"
  elif grep -qv -e "^$src/" -e "^$SOURCE_DIR/" <<<"$units"; then
    fail "$name ($how): compiles from elsewhere: $(grep -v -e "^$src/" -e "^$SOURCE_DIR/" <<<"$units" | head -3)"
  else
    pass "$name ($how): compiles $(grep -c "^$src/" <<<"$units") source(s) of its own"
  fi
  local help
  help=$("$binary" --help 2>&1)
  if grep -q "^Usage: $name " <<<"$help" && grep -q "^$name: " <<<"$help" && ! grep -qi 'festoonery!' <<<"$help"; then
    pass "$name ($how): --help names it"
  else
    fail "$name ($how): --help: $(head -3 <<<"$help" | tr '\n' ' ')"
  fi
  mkdir -p "$work/play-$name-$how"
  (cd "$work/play-$name-$how" && timeout 300 "$binary" >out.log 2>err.log)
  local status=$?
  if [ $status -eq 0 ] && grep -q '=== Done loading' "$work/play-$name-$how/out.log"; then
    pass "$name ($how): plays whole, status 0"
  else
    fail "$name ($how): play status $status; $(tail -3 "$work/play-$name-$how/out.log") $(tail -3 "$work/play-$name-$how/err.log")"
  fi
}

count=0
for example in "$SOURCE_DIR"/examples/*/; do
  [ -f "$example/CMakeLists.txt" ] || continue
  name=$(basename "$example")
  count=$((count + 1))
  src=$work/repos/$name
  mkdir -p "$work/repos"
  cp -r "$example" "$src"
  before=$(listing "$src")

  build=$work/installed-$name
  if cmake -S "$src" -B "$build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
       -DCMAKE_BUILD_TYPE=Release >"$work/$name-installed.log" 2>&1 &&
     cmake --build "$build" -j"$jobs" >>"$work/$name-installed.log" 2>&1; then
    pass "$name: builds against the installed engine"
    check_build "$name" "$src" "$build" installed
    # Its own install rules: the program and its archive, which it finds from any folder.
    inst=$work/installed-$name-prefix
    mkdir -p "$work/empty-$name"
    if cmake --install "$build" --prefix "$inst" >/dev/null 2>&1 && [ -x "$inst/bin/$name" ] &&
       cmp -s "$inst/share/$name/data.mvt" "$build/run/data.mvt" &&
       (cd "$work/empty-$name" && "$inst/bin/$name" --capture frames --size 64x36 --fps 2 --to 1s --quiet \
          >capture.log 2>&1) && [ "$(ls "$work/empty-$name/frames" | wc -l)" = 3 ]; then
      pass "$name: installs bin/$name and share/$name/data.mvt, which it finds from another folder"
    else
      fail "$name: its install: $(ls -R "$inst" 2>&1 | head -5 | tr '\n' ' ') $(tail -2 "$work/empty-$name/capture.log" 2>&1)"
    fi
  else
    fail "$name: build against the installed engine: $(grep -m3 -iE 'error' "$work/$name-installed.log")"
  fi

  # Without CMake: its sources compiled and linked with what festoonery.pc says.
  pc=$(dirname "$(find "$prefix" -name festoonery.pc | head -1)")
  if flags=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs festoonery 2>&1) &&
     (cd "$src" && g++ -O0 $(find src -name '*.cpp' | sort) $flags -o "$work/$name-pc") >"$work/$name-pc.log" 2>&1 &&
     "$work/$name-pc" --help 2>&1 | grep -q "^Usage: $name "; then
    pass "$name: builds with pkg-config's flags alone"
  else
    fail "$name with pkg-config: ${flags:0:200} $(grep -m3 -i error "$work/$name-pc.log")"
  fi

  build=$work/subdirectory-$name
  if cmake -S "$src" -B "$build" -DFESTOONERY_ENGINE_SOURCE="$SOURCE_DIR" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
       >"$work/$name-subdirectory.log" 2>&1 &&
     cmake --build "$build" -j"$jobs" >>"$work/$name-subdirectory.log" 2>&1; then
    pass "$name: builds with the engine's sources as a subdirectory"
    check_build "$name" "$src" "$build" subdirectory
  else
    fail "$name: build with the engine as a subdirectory: $(grep -m3 -iE 'error' "$work/$name-subdirectory.log")"
  fi

  [ "$(listing "$src")" = "$before" ] && pass "$name: its source folder unchanged" \
    || fail "$name: its source folder changed: $(diff <(echo "$before") <(listing "$src") | head -5)"
done
[ $count -ge 2 ] && pass "$count productions under examples/" || fail "only $count production(s) under examples/"

engine_after=$(engine_listing)
[ "$engine_after" = "$engine_before" ] && pass "the engine's tree unchanged" \
  || fail "the engine's tree changed: $(diff <(echo "$engine_before") <(echo "$engine_after") | head -5)"

finish
