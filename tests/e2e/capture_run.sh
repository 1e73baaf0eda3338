#!/usr/bin/env bash
# festoonery-capture and festoonery-bench as a user runs them, under a private Xvfb:
# wrong options and unwritable outputs end with a clear line and a non-zero status, a
# video output without ffmpeg is refused, PNG frames come out numbered, of the asked
# size and count, identical for identical options, and the benchmark prints its table
# and JSON.
set -uo pipefail

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}" "${RUNTIME_DIR:?}"
capture="$RUNTIME_DIR/festoonery-capture"
bench="$RUNTIME_DIR/festoonery-bench"
for b in "$capture" "$bench"; do [ -x "$b" ] || { echo "FAIL: no program at $b"; exit 1; }; done
[ -f "$RUNTIME_DIR/data.mvt" ] || { echo "FAIL: no data.mvt in $RUNTIME_DIR"; exit 1; }

. "$SOURCE_DIR/tests/e2e/lib_production.sh"
cd "$work" || exit 1

# expect NAME STATUS STDERR_REGEX -- COMMAND...
expect() {
  local name=$1 want=$2 regex=$3
  shift 4
  "$@" >out.log 2>err.log
  local got=$?
  if [ "$got" != "$want" ]; then
    fail "$name: exit status $got, expected $want; stderr: $(tail -3 err.log)"
  elif ! grep -Eq -- "$regex" err.log; then
    fail "$name: stderr does not match /$regex/: $(tail -3 err.log)"
  else
    pass "$name"
  fi
}

# --- options and outputs refused before anything is drawn -----------------------------
"$capture" --help >help.txt 2>&1
if [ $? -eq 0 ] && grep -q "Usage: festoonery-capture" help.txt && grep -q -- "--wav FILE" help.txt; then
  pass "--help explains the usage"
else
  fail "--help: $(head -3 help.txt)"
fi
while IFS='|' read -r name regex args; do
  # shellcheck disable=SC2086
  expect "$name" 2 "$regex" -- "$capture" $args
done <<'EOF'
size without x|bad size '1920'|--size 1920 frames
size zero|bad size '0x5'|--size 0x5 frames
size too large to name|bad size '70000x10'|--size 70000x10 frames
rate over zero|bad rate '60/0'|--fps 60/0 frames
rate fraction of decimals|bad rate '59.94'|--fps 59.94 frames
time without unit|bad time '52'|--from 52 frames
time negative|bad time '-1s'|--to -1s frames
seed negative|bad seed '-1'|--seed -1 frames
level out of range|bad PNG level '10'|--level 10 frames
unknown option|unknown option '--bogus'|--bogus frames
value missing|--size needs a value|frames --size
two outputs|more than one OUTPUT given \('b'\)|a b
no output|no OUTPUT given|--fps 30
EOF
mkdir -p emptybin
expect "video without ffmpeg on PATH" 1 "needs ffmpeg, which is not on PATH" -- \
  env PATH="$work/emptybin" "$capture" greeting.mp4
[ ! -e greeting.mp4 ] && pass "no video file left behind" || fail "greeting.mp4 exists"
expect "webm without ffmpeg on PATH" 1 "needs ffmpeg" -- env PATH="$work/emptybin" "$capture" a/b.webm
expect "folder that cannot be created" 1 "cannot create the folder /proc/festoonery" -- \
  "$capture" /proc/festoonery/frames
touch plainfile
expect "output naming a file" 1 "plainfile exists and is not a folder" -- "$capture" plainfile
expect "missing archive" 1 "no asset archive at $work/none.mvt" -- "$capture" --archive "$work/none.mvt" frames
expect "size beyond the GL limits" 2 "cannot capture here: .*limit" -- "$capture" --size 65536x65536 big
expect "empty section" 2 "no frame lies in 10.000s to 5.000s" -- "$capture" --from 20b --to 10b empty
[ -z "$(ls -A empty 2>/dev/null)" ] && pass "an empty section writes no frame" || fail "frames in empty/"

# --- frames -----------------------------------------------------------------------------
# A PNG's size, the share of lit pixels (channel sum above 30) and of coloured ones
# (channels more than 60 apart), the lit pixels in the two columns at either side, read
# with Python's zlib: every PNG filter type undone,
# so nothing of the writer is assumed.
cat >png_info.py <<'PY'
import struct, sys, zlib
def info(path):
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'signature'
    pos, idat, head = 8, b'', None
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        crc = struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])[0]
        assert zlib.crc32(kind + body) & 0xffffffff == crc, 'crc of ' + kind.decode()
        if kind == b'IHDR': head = struct.unpack('>IIBBBBB', body)
        if kind == b'IDAT': idat += body
        pos += 12 + n
    w, h, depth, colour = head[:4]
    bpp = {2: 3, 6: 4}[colour]
    raw, stride, rows, prev = zlib.decompress(idat), w * bpp, [], bytearray(w * bpp)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][f]
            line[i] = (line[i] + pred) & 255
        rows.append(line)
        prev = line
    px = [r[x * bpp:x * bpp + 3] for r in rows for x in range(w)]
    lit = sum(1 for p in px if sum(p) > 30)
    coloured = sum(1 for p in px if max(p) - min(p) > 60)
    edges = sum(1 for i, p in enumerate(px) if i % w in (0, 1, w - 2, w - 1) and sum(p) > 30)
    return w, h, colour, lit / (w * h), coloured / (w * h), edges
for p in sys.argv[1:]:
    w, h, colour, lit, coloured, edges = info(p)
    print(f'{w}x{h} colour {colour} lit {lit:.3f} coloured {coloured:.3f} edges {edges}')
PY

expect "capture beats 10 to 12 at 4 fps with --wav" 0 "wrote run1" -- \
  "$capture" --size 96x54 --fps 4 --from 10b --to 12b --samples 0 --wav s.wav run1
frames=$(ls run1 | tr '\n' ' ')
# Beat 10 is 5 s: frame 20 of the production at 4 fps.
[ "$frames" = "frame_000020.png frame_000021.png frame_000022.png frame_000023.png frame_000024.png " ] \
  && pass "five frames, numbered by their place in the production" || fail "frames: $frames"
grep -Eq "^frame 5/5 \(100%\)  [0-9.]+ fps  0:00 left  \(render [0-9.]+ fps, encode [0-9.]+ fps\)$" err.log \
  && pass "progress line with the render and encode rates" \
  || fail "progress line: $(grep '^frame' err.log | tail -1)"
grep -q "=== Done loading 5 scene(s) ===" out.log && pass "the engine's log on stdout" || fail "no loading log"
info=$(python3 png_info.py run1/frame_000020.png)
case "$info" in
  "96x54 colour 2 lit "*) pass "frames are 96x54 RGB ($info)" ;;
  *) fail "frame info: $info" ;;
esac
read -r lit coloured < <(echo "$info" | sed 's/.* lit \([0-9.]*\) coloured \([0-9.]*\).*/\1 \2/')
python3 -c "import sys; sys.exit(0 if $lit > 0.005 and $coloured == 0 else 1)" \
  && pass "beat 10: white text alone ($lit lit, $coloured coloured)" || fail "beat 10: $info"
# 5 frames at 4 fps: 1.25 s of sound, 44100 frames of 4 bytes a second.
size=$(stat -c %s s.wav)
[ "$size" = $((44 + 55125 * 4)) ] && pass "WAV of 1.25 s ($size bytes)" || fail "WAV size $size"
head -c 4 s.wav | grep -q RIFF && pass "WAV header" || fail "WAV header"
# The soundtrack plays at beat 10: not silence.
python3 -c "
import struct,sys; d=open('s.wav','rb').read()[44:]; v=struct.unpack('<%dh'%(len(d)//2), d)
sys.exit(0 if max(abs(x) for x in v) > 1000 else 1)" && pass "WAV holds the music" || fail "WAV is silent"

"$capture" --quiet --size 96x54 --fps 4 --from 10b --to 12b --samples 0 run2 >/dev/null 2>&1
same=1
for f in run1/*.png; do cmp -s "$f" "run2/$(basename "$f")" || same=0; done
[ $same = 1 ] && pass "the same options give identical frames" || fail "frames differ between runs"

# --words: the production's own eight words give the production's frame; others another
# frame in the same places; a word no installed font can draw is refused, naming it.
"$capture" --quiet --size 96x54 --fps 4 --from 10b --to 10b --samples 0 \
  --words "Happy,0x20,birthday,Tuppet!,Best,wishes,from,Morvaset" own >/dev/null 2>&1
cmp -s own/frame_000020.png run1/frame_000020.png && pass "--words with the production's words: the same frame" \
  || fail "--words with the production's words changes the frame"
expect "--words of your own" 0 "wrote mine" -- "$capture" --size 96x54 --fps 4 --from 10b --to 10b \
  --samples 0 --words 'Dear,Zoë,Love\, hugs,from,us,all,at,home' mine
cmp -s mine/frame_000020.png run1/frame_000020.png && fail "other words give the same frame" \
  || pass "other words, another frame"
printf '%s\n' Dear Zoë 'Love, hugs' from us all at home >words.txt
expect "--words-file, one word a line" 0 "wrote from-file" -- "$capture" --size 96x54 --fps 4 --from 10b \
  --to 10b --samples 0 --words-file words.txt from-file
cmp -s mine/frame_000020.png from-file/frame_000020.png && pass "--words-file draws what --words does" \
  || fail "--words-file and --words give different frames"
while IFS='|' read -r name regex words; do
  expect "$name" 2 "$regex" -- "$capture" --words "$words" refused
done <<'EOF'
--words with seven words|bad --words: expected exactly 8 words separated by commas, got 7|a,b,c,d,e,f,g
--words with an escaped comma|got 7: "a,b", "c".* \(a comma inside a word is written|a\,b,c,d,e,f,g,h
--words with an empty word|word 4 is empty|a,b,c,,e,f,g,h
EOF
expect "--words no installed font can draw" 2 'word 2 \("Hi 𑼄"\): U\+11F04 KAWI LETTER A \(Kawi\): no installed font draws it' -- \
  "$capture" --size 32x18 --fps 1 --to 0s --words "a,Hi 𑼄,c,d,e,f,g,h" refused
[ -z "$(ls -A refused 2>/dev/null)" ] && pass "a refused word writes no frame" || fail "frames in refused/"

# Names in any script: each drawn in a face the log names; at 8 s the first three stand on
# black, and the two long ones, which would cross the right edge, are moved in.
printf '%s\n' Łukasz 'Bartholomew and Genevieve' 'Wolfgang-Amadeus Theophilus' Γιώργος محمد प्रिया 王芳 \
  'Anna-Мария 🎂' >names.txt
expect "names in every script" 0 "wrote names" -- "$capture" --size 640x360 --fps 1 --from 8s --to 8s \
  --samples 0 --words-file names.txt names
for face in 'Łukasz" is drawn in Kaushan Script' 'محمد" is drawn in Noto Naskh Arabic' \
  'प्रिया" is drawn in Noto Serif Devanagari' '王芳" is drawn in Noto Serif CJK SC' \
  'Anna-Мария 🎂" is drawn in Dancing Script Bold and Noto Serif Italic and Noto Color Emoji'; do
  grep -qF "The word \"$face" out.log && pass "log: $face" || fail "no log line: $face"
done
info=$(python3 png_info.py names/frame_000008.png)
lit=$(echo "$info" | sed 's/.* lit \([0-9.]*\).*/\1/')
if [ "${info##* edges }" = 0 ] && awk -v l="$lit" 'BEGIN { exit !(l > 0.02) }'; then
  pass "long names whole inside the frame ($info)"
else
  fail "ink missing or on the frame's edge: $info"
fi

"$capture" --quiet --size 96x54 --fps 4 --from 36b --to 36b picture >/dev/null 2>&1
info=$(python3 png_info.py picture/frame_000072.png)
read -r lit coloured < <(echo "$info" | sed 's/.* lit \([0-9.]*\) coloured \([0-9.]*\).*/\1 \2/')
python3 -c "import sys; sys.exit(0 if $lit > 0.8 and $coloured > 0.3 else 1)" \
  && pass "beat 36: the picture fills the frame ($info)" || fail "beat 36: $info"

for seed in 1 1b 2; do
  "$capture" --quiet --size 96x54 --fps 2 --from 60b --to 60b --seed "${seed%b}" "seed$seed" >/dev/null 2>&1
done
cmp -s seed1/frame_000060.png seed1b/frame_000060.png && pass "seed 1 twice: the same sparks" || fail "seed 1 differs"
cmp -s seed1/frame_000060.png seed2/frame_000060.png && fail "seeds 1 and 2 give the same frame" \
  || pass "another seed, other sparks"

# A capture from any moment shows what the whole capture shows there, byte for byte:
# the scenes' history (stars, rockets, the generator) is replayed, not skipped.
same_frames() {  # DIR_A DIR_B: every frame of A is in B with the same bytes
  local f n=0
  for f in "$1"/*.png; do
    cmp -s "$f" "$2/$(basename "$f")" || { echo "differs: $(basename "$f")"; return 1; }
    n=$((n + 1))
  done
  [ "$n" -gt 0 ] && echo "$n frame(s)"
}
"$capture" --quiet --size 64x36 --fps 4 --to 104b whole >/dev/null 2>&1
"$capture" --quiet --size 64x36 --fps 4 --from 100b --to 104b deep >/dev/null 2>&1
r=$(same_frames deep whole) && pass "--from 100b equals the whole capture's frames ($r)" || fail "deep: $r"
# Three chunks across the cut at beat 52 side by side in one folder, as the README's
# parallel recipe renders them.
for range in "46b 50.5b" "51b 53b" "53.5b 58b"; do
  set -- $range
  "$capture" --quiet --size 64x36 --fps 4 --from "$1" --to "$2" chunks >/dev/null 2>&1
done
"$capture" --quiet --size 64x36 --fps 4 --from 46b --to 58b range >/dev/null 2>&1
[ "$(ls chunks | wc -l)" = "$(ls range | wc -l)" ] && r=$(same_frames chunks range) \
  && pass "three chunks across beat 52 equal one capture of the range ($r)" \
  || fail "chunks: $(ls chunks | wc -l) against $(ls range | wc -l) frames; $r"
r=$(same_frames range whole) && pass "the range across beat 52 equals the capture from 0 ($r)" || fail "range: $r"

expect "59.94 fps from 0s to 0.1s" 0 "6 frames of 64x36 at 60000/1001 fps" -- \
  "$capture" --quiet --size 64x36 --fps 60000/1001 --to 0.1s ntsc
[ "$(ls ntsc | wc -l)" = 6 ] && pass "six frames at 59.94 in 0.1 s" || fail "ntsc frames: $(ls ntsc | wc -l)"
expect "--to past the music" 0 "the music ends at 61\.500s \(beat 123\.00\)" -- \
  "$capture" --quiet --size 32x18 --fps 2 --from 122b --to 1000b tail
[ "$(ls tail | wc -l)" = 2 ] && pass "frames up to the end of the music (61 s and 61.5 s)" \
  || fail "tail frames: $(ls tail | tr '\n' ' ')"

# --- benchmark --------------------------------------------------------------------------
expect "bench refuses unknown arguments" 2 "unknown argument '--bogus'" -- "$bench" --bogus
expect "bench with three frames a section" 0 "festoonery-bench: " -- \
  "$bench" --size 160x90 --samples 0 --limit 3 --json bench.json
for row in "^text +3 \|" "^picture\+text\+waveform +3 \|" "^starfield\+fireworks +3 \|"; do
  grep -Eq "$row" out.log && pass "table row /$row/" || fail "no table row /$row/: $(cat out.log)"
done
python3 - bench.json <<'PY' && pass "JSON figures" || fail "JSON: $(cat bench.json)"
import json, sys
d = json.load(open(sys.argv[1]))
s = d['sections']
assert [x['name'] for x in s] == ['text', 'picture+text+waveform', 'starfield+fireworks'], s
assert [x['from_beat'] for x in s] == [0, 20, 52]
for x in s:
    assert x['frames'] == 3 and x['frame_ms']['median'] > 0 and x['frame_ms']['p95'] >= x['frame_ms']['median'], x
    assert x['peak_rss_bytes'] > 10 << 20, x
assert s[0]['sparks_per_second'] == 0 and s[2]['sparks_per_second'] > 0, s
assert d['width'] == 160 and d['height'] == 90 and d['fps'] == 60 and d['particles'] in ('cpu', 'fast')
assert 0 < d['floor_ms']['median'] <= d['floor_ms']['p95'], d
PY
grep -Eq "^floor: empty frames median [0-9]+\.[0-9] ms, p95 [0-9]+\.[0-9] ms$" out.log \
  && grep -Eq "^real time: text p95 [0-9.]+ ms, picture p95 [0-9.]+ ms, fireworks p95 [0-9.]+ ms; worst [0-9]+\.[0-9]{2} x floor$" out.log \
  && pass "the floor and real-time lines" || fail "floor / real time lines: $(cat out.log)"
expect "bench refuses an unknown particle path" 2 "bad particle path 'points'" -- "$bench" --particles points
expect "bench compares the particle paths" 0 "festoonery-bench: " -- \
  "$bench" --size 160x90 --samples 0 --limit 3 --compare
grep -q "^particles: reference$" out.log && grep -Eq "^particles: (cpu|fast)$" out.log && pass "a table for each path" \
  || fail "tables of --compare: $(cat out.log)"
tail -1 out.log | grep -Eq "^(cpu|fast) / reference: frame median [0-9]+\.[0-9]{2}, p95 [0-9]+\.[0-9]{2}$" \
  && pass "the ratio line last" || fail "last line of --compare: $(tail -1 out.log)"

if [ "$failures" -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
