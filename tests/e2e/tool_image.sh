#!/usr/bin/env bash
# festoonery-tool image as an artist would use it: PngSuite files decoded and written
# back as PAM and PNG (checked by Python's own zlib against the suite's reference
# pixels), TGA byte order, and every refusal as one clean line with exit status 1.
set -uo pipefail
TOOL="$BUILD_DIR/tools/festoonery-tool/festoonery-tool"
SUITE="$SOURCE_DIR/tests/data/pngsuite"
[ -x "$TOOL" ] || { echo "FAIL: no tool at $TOOL"; exit 1; }
[ -f "$SUITE/MANIFEST.tsv" ] || { echo "FAIL: no PngSuite at $SUITE"; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-image-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

# compare OUT REFERENCE: the pixels of a PAM or PNG the tool wrote against raw RGBA.
compare() {
  python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
out, ref = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
if out.startswith(b'P7\n'):
    head, _, pixels = out.partition(b'ENDHDR\n')
    fields = dict(l.split(b' ', 1) for l in head.split(b'\n')[1:] if b' ' in l)
    assert fields[b'DEPTH'] == b'4' and fields[b'TUPLTYPE'] == b'RGB_ALPHA', fields
else:
    assert out[:8] == b'\x89PNG\r\n\x1a\n', 'no PNG signature'
    p, idat, header = 8, b'', None
    while p < len(out):
        n, = struct.unpack('>I', out[p:p + 4]); kind = out[p + 4:p + 8]; body = out[p + 8:p + 8 + n]
        crc, = struct.unpack('>I', out[p + 8 + n:p + 12 + n])
        assert zlib.crc32(kind + body) == crc, 'bad CRC in ' + kind.decode()
        if kind == b'IHDR': header = struct.unpack('>IIBBBBB', body)
        if kind == b'IDAT': idat += body
        p += 12 + n
    w, h, depth, colour = header[:4]
    assert depth == 8 and colour == 6, header
    raw = zlib.decompress(idat)
    stride = w * 4
    assert all(raw[r * (stride + 1)] == 0 for r in range(h)), 'filter bytes'
    pixels = b''.join(raw[r * (stride + 1) + 1:(r + 1) * (stride + 1)] for r in range(h))
if pixels != ref:
    first = next(i for i in range(min(len(pixels), len(ref))) if pixels[i] != ref[i]) if len(pixels) == len(ref) else -1
    sys.exit('pixels differ (%d vs %d bytes, first at %d)' % (len(pixels), len(ref), first))
PY
}

# check NAME STATUS STDERR_REGEX COMMAND...: exit status, stderr ("^$": none at all), and
# a refusal (status 1) is one line with no box record.
check() {
  local name=$1 want=$2 regex=$3
  shift 3
  "$@" >"$WORK/out" 2>"$WORK/err"
  local got=$?
  if [ "$got" != "$want" ]; then
    fail "$name: exit status $got, expected $want: $(cat "$WORK/err")"
  elif [ "$regex" = '^$' ] && [ -s "$WORK/err" ]; then
    fail "$name: expected no stderr: $(cat "$WORK/err")"
  elif [ "$regex" != '^$' ] && ! grep -Eq -- "$regex" "$WORK/err"; then
    fail "$name: stderr does not match /$regex/: $(cat "$WORK/err")"
  elif grep -q '\[box\]' "$WORK/err" "$WORK/out"; then
    fail "$name: a box record leaked"
  elif [ "$want" = 1 ] && [ "$(wc -l <"$WORK/err")" != 1 ]; then
    fail "$name: expected one line on stderr: $(cat "$WORK/err")"
  else
    pass "$name"
  fi
}

while IFS=$'\t' read -r file width height colour depth interlace expect; do
  [ "$file" = file ] && continue
  base=${file%.png}
  if [ "$expect" = load ]; then
    "$TOOL" image "$SUITE/$file" "$WORK/$base.pam" >"$WORK/out" 2>"$WORK/err" \
      || { fail "$file: exit status $?: $(cat "$WORK/err")"; continue; }
    grep -q "width 32, height 32, 32 bits per pixel, format GL_RGBA" "$WORK/out" \
      || fail "$file: summary line: $(cat "$WORK/out")"
    if why=$(compare "$WORK/$base.pam" "$SUITE/$base.rgba" 2>&1); then pass "$file as PAM"; else fail "$file as PAM: $why"; fi
    "$TOOL" image "$SUITE/$file" "$WORK/$base.png" >/dev/null 2>&1 || fail "$file: writing PNG"
    if why=$(compare "$WORK/$base.png" "$SUITE/$base.rgba" 2>&1); then pass "$file as PNG"; else fail "$file as PNG: $why"; fi
    # What the tool wrote, the engine reads back the same.
    "$TOOL" image "$WORK/$base.png" "$WORK/$base.again.pam" >/dev/null 2>&1 || fail "$file: reading its PNG back"
    cmp -s "$WORK/$base.pam" "$WORK/$base.again.pam" || fail "$file: PNG round trip changed the pixels"
  else
    check "$file refused" 1 "refused: ERROR at src/util/texture/png_loader.cpp:[0-9]+: Invalid texture information The image has a bit depth of $depth \\(colour type $colour\\)\\. Textures take 8-bit PNG files" \
      "$TOOL" image "$SUITE/$file"
  fi
  # image-import through GDK-Pixbuf: every file, refused ones included, becomes a PNG the
  # engine loads; where the suite has reference pixels the engine sees exactly those.
  check "$file imported" 0 '^$' "$TOOL" image-import "$SUITE/$file" "$WORK/$base.imported.png"
  if "$TOOL" image "$WORK/$base.imported.png" "$WORK/$base.imported.pam" >/dev/null 2>&1; then
    if [ -f "$SUITE/$base.rgba" ]; then
      if why=$(compare "$WORK/$base.imported.pam" "$SUITE/$base.rgba" 2>&1); then pass "$file imported pixels"
      else fail "$file imported pixels: $why"; fi
    fi
  else
    fail "$file: the engine refuses the imported PNG"
  fi
done <"$SUITE/MANIFEST.tsv"

# TGA origins: the engine's loader and GDK-Pixbuf agree for every descriptor (bit 5 top
# row first, bit 4 right to left), uncompressed and run-length encoded.
for descriptor in 00 10 20 30; do
  printf -v alpha8 '%02x' $((0x$descriptor | 8))  # 32-bit files: 8 alpha bits
  printf "\0\0\2\0\0\0\0\0\0\0\0\0\3\0\2\0\30\x$descriptor\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17\20\21\22" >"$WORK/o$descriptor.tga"
  printf "\0\0\12\0\0\0\0\0\0\0\0\0\3\0\2\0\40\x$alpha8\202\1\2\3\377\2\4\5\6\200\7\10\11\177\12\13\14\1" >"$WORK/r$descriptor.tga"
  for tga in o$descriptor r$descriptor; do
    "$TOOL" image "$WORK/$tga.tga" "$WORK/$tga.engine.pam" >/dev/null 2>&1 || fail "$tga.tga: the engine refuses it"
    "$TOOL" image-import "$WORK/$tga.tga" "$WORK/$tga.png" >/dev/null 2>&1 || fail "$tga.tga: image-import refuses it"
    "$TOOL" image "$WORK/$tga.png" "$WORK/$tga.pixbuf.pam" >/dev/null 2>&1 || fail "$tga.png: the engine refuses it"
    if [ "${tga#o}" != "$tga" ]; then
      # 24-bit: compare the colour bytes of both (the imported PNG has an alpha channel).
      python3 - "$WORK/$tga.engine.pam" "$WORK/$tga.pixbuf.pam" <<'PY' && pass "$tga.tga orientation" || fail "$tga.tga orientation differs"
import sys
a, b = (open(p, 'rb').read().partition(b'ENDHDR\n')[2] for p in sys.argv[1:])
sys.exit(0 if a == b''.join(b[i:i + 3] for i in range(0, len(b), 4)) else 1)
PY
    else
      cmp -s "$WORK/$tga.engine.pam" "$WORK/$tga.pixbuf.pam" && pass "$tga.tga orientation" || fail "$tga.tga orientation differs"
    fi
  done
done

# A 2 x 2 TGA (B, G, R per pixel, rows bottom-up): PAM rows come out top first.
printf '\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\30\0\1\2\3\4\5\6\7\10\11\12\13\14' >"$WORK/small.tga"
check "2 x 2 TGA" 0 '^$' "$TOOL" image "$WORK/small.tga" "$WORK/small.pam"
grep -q "width 2, height 2, 24 bits per pixel, format GL_RGB" "$WORK/out" || fail "TGA summary: $(cat "$WORK/out")"
tail -c 12 "$WORK/small.pam" | od -An -tu1 | tr -s ' ' | grep -q '^ 9 8 7 12 11 10 3 2 1 6 5 4$' \
  || fail "TGA pixels: $(tail -c 12 "$WORK/small.pam" | od -An -tu1)"

cp "$SUITE/basn6a08.png" "$WORK/UPPER.PNG"
check "upper-case extension" 0 '^$' "$TOOL" image "$WORK/UPPER.PNG"
head -c 100 "$SUITE/basn6a08.png" >"$WORK/cut.png"
check "truncated PNG" 1 'cut.png refused: .*Invalid texture information' "$TOOL" image "$WORK/cut.png"
check "missing file" 1 'refused: src/util/texture/png_loader.cpp:[0-9]+: Failed to open/decode .*nothing.png! The file cannot be opened\.$' \
  "$TOOL" image "$WORK/nothing.png"
printf 'GIF89a' >"$WORK/picture.gif"
check "unsupported extension" 1 "no loader for .*'.gif'" "$TOOL" image "$WORK/picture.gif"
printf 'GIF89a not a jpeg' >"$WORK/fake.jpg"
check "corrupt JPEG" 1 'Could not decode JPEG .*fake.jpg: Not a JPEG file' "$TOOL" image "$WORK/fake.jpg"
printf 'BM' >"$WORK/short.bmp"
check "short BMP" 1 'short.bmp refused: Failed reading .*short.bmp: The file is shorter than the 14-byte BMP file header\.$' "$TOOL" image "$WORK/short.bmp"
check "not an image" 1 'picture.gif refused: .+' "$TOOL" image-import "$WORK/picture.gif" "$WORK/x.png"
check "import OUT extension" 2 'OUT must end in .png' "$TOOL" image-import "$SUITE/basn6a08.png" "$WORK/x.tga"
check "no file named" 2 'FILE' "$TOOL" image
check "bad OUT extension" 2 'must end in .png or .pam' "$TOOL" image "$SUITE/basn6a08.png" "$WORK/x.bmp"
check "unwritable OUT" 1 'could not write' "$TOOL" image "$SUITE/basn6a08.png" "$WORK/no/such/dir/x.png"

echo "$failures failure(s)"
[ "$failures" = 0 ]
