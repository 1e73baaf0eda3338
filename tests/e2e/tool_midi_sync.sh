#!/usr/bin/env bash
# festoonery-tool midi and sync as a demo maker checks a composition: a small one made
# here (MIDI written byte by byte, OGG through libsndfile), the repository's own when it
# has one, and damaged MIDI and XML files, each refused with the engine's message as one
# clean line and exit status 1.
source "$(dirname "$0")/lib_tool.sh"
FIXTURES="$SOURCE_DIR/tests/e2e/fixtures"

cd "$WORK"
python3 "$FIXTURES/make_composition.py" music || { echo "FAIL: cannot make the composition"; exit 1; }

# same NAME EXPECTED_FILE: the last check's stdout against the expected text.
same() {
    if diff -u "$2" "$OUT" >"$WORK/diff"; then pass "$1: output"; else fail "$1: output differs:"; cat "$WORK/diff"; fi
}

# ---- midi on a good file ----
check "midi" 0 '^$' -- "$TOOL" midi music/song.mid
cat >expected <<'TXT'
Loading MIDI file music/song.mid, 187 bytes long
  MIDI file format 1 found
  Number of MTrk chunks: 5
  Milliseconds 1/4 delta: 96
  Text info: hello
  Got bpm of 120.00
  Time signature is 6/8, 24 MIDI clocks per metronome tick, 8 32th notes per 24 MIDI clocks
  Key signature is -3, minor
  A total of 4 tracks were added:
   "Bass", 4 note events, 2 different, first at 0.00, low/high C3/G3 (36/43)
   "Pad", 3 note events, 1 different, first at 2.00, low/high C5/C5 (60/60)
   "Lead", 2 note events, 1 different, first at 0.00, low/high C6/C6 (72/72)
   "", 2 note events, 1 different, first at 1.00, low/high C4/C4 (48/48)
TXT
same "midi" expected

check "midi --verbose" 0 '^$' -- "$TOOL" --verbose midi music/song.mid
if grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [ 0-9][0-9]:[0-9]{2}:[0-9]{2}:[0-9]{3}   Got bpm of 120\.00$' "$OUT" &&
   grep -q '^  Got bpm of 120\.00$' "$OUT"; then
    pass "midi --verbose: the engine's log with timestamps, then the summary"
else
    fail "midi --verbose: $(cat "$OUT")"
fi

# ---- sync on a good description ----
check "sync" 0 '^$' -- "$TOOL" sync music/Festoonery.xml
cat >expected <<'TXT'
sync description music/Festoonery.xml
stream music/song.ogg: 352800 bytes, 2.00 seconds
MIDI file music/song.mid: 120.00 bpm, 6/8, key -3 minor, 4 tracks
track 'Bass' has 2 modulators
  'kick glow': envelope, attack 0.100 beats linear, decay 0.400 beats exp, sustain 0.600, release 1.000 beats exp_inv, intensity 0.800
  'bass saw': lfo, wave saw, cc 16, period 1.500 beats, intensity 1.000, 2 ranges
    range 0..63: period 1.000 beats
    range 64..127: period 0.250 beats
track 'Pad' has 1 modulators
  'pad wobble': lfo, wave sine, cc 1, period 0.333 beats, intensity 1.000, 2 ranges
    range 0..63: period 1.000 beats
    range 64..127: period 0.250 beats
track 'Lead' has 0 modulators
track '' has 0 modulators
ignored modulator 'nothing here' for track 'Lead' (<flash>): neither lfo nor envelope
TXT
same "sync" expected

# ---- sync --plot: a PNG of the asked width, one row band per modulator, sections drawn ----
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24])) if d[:8]==b"\x89PNG\r\n\x1a\n" else print("not a PNG")' "$1"; }
check "sync --plot" 0 '^$' -- "$TOOL" sync music/Festoonery.xml --plot plain.png --width 640
if grep -q '^plot plain.png: beats 0 to [0-9.]*, 0 sections$' "$OUT" && [ "$(png_size plain.png | cut -d' ' -f1)" = 640 ]; then
    pass "sync --plot: a 640-pixel PNG, no sections for another production's description"
else
    fail "sync --plot: $(tail -1 "$OUT"), $(png_size plain.png)"
fi
check "sync --plot --sections" 0 '^$' -- "$TOOL" sync music/Festoonery.xml --plot marked.png --width 640 --sections intro=0,drop=2
if grep -q ', 2 sections$' "$OUT" && [ "$(png_size marked.png)" = "$(png_size plain.png)" ] && ! cmp -s plain.png marked.png; then
    pass "sync --plot --sections: the same picture with the sections marked"
else
    fail "sync --plot --sections: $(tail -1 "$OUT")"
fi
check "sync --sections without --plot" 2 'go with --plot' -- "$TOOL" sync music/Festoonery.xml --sections 0,4
check "sync --plot bad sections" 2 'takes beats' -- "$TOOL" sync music/Festoonery.xml --plot x.png --sections 0,x

# ---- the repository's composition, when it has one ----
REAL="$SOURCE_DIR/data/common/music/Festoonery.xml"
if [ -f "$REAL" ]; then
    check "sync on the repository's composition" 0 '^$' -- "$TOOL" sync "$REAL"
    grep -q "^track '.*' has [0-9]* modulators$" "$OUT" && pass "its tracks are listed" || fail "no track lines: $(cat "$OUT")"
    midi=$(sed -n 's/^MIDI file \(.*\): .* bpm.*/\1/p' "$OUT")
    check "midi on the repository's composition" 0 '^$' -- "$TOOL" midi "$midi"
    grep -q '^  A total of [0-9]* tracks were added:$' "$OUT" && pass "its summary" || fail "no summary: $(cat "$OUT")"
else
    echo "skip: no $REAL in the repository yet"
fi

# ---- damaged MIDI files: NAME | STDERR REGEX, each file made below ----
python3 - "$FIXTURES" <<'PY'
import struct, sys
sys.path.insert(0, sys.argv[1])
import make_composition as m

good = m.midi_file()
def head(tracks, chunks=None, length=6):
    return b'MThd' + struct.pack('>IHHH', length, 1, len(tracks) if chunks is None else chunks, 96) + b''.join(tracks)
notes = [(0, m.meta(0x03, b'Keys')), (0, b'\x90\x3C\x40'), (96, b'\x80\x3C\x00')]
def with_event(delta, event):
    return head([m.track(notes + [(delta, event)])])
files = {
    'truncated.mid': good[:100],
    'header-only.mid': good[:10],
    'empty.mid': b'',
    'header7.mid': head([m.track(notes)], length=7),
    'no-mtrk.mid': head([b'MTrX' + m.track(notes)[4:]]),
    'missing-chunk.mid': head([m.track(notes)], chunks=2),
    'chunk-past-end.mid': head([m.track(notes)])[:-4],
    'pitch-bend.mid': with_event(0, b'\xE0\x00\x40'),
    'program-change.mid': with_event(0, b'\xC0\x05'),
    'sysex.mid': with_event(0, b'\xF0\x01\xF7'),
    'second-name.mid': with_event(0, m.meta(0x03, b'Again')),
    'empty-text.mid': with_event(0, m.meta(0x01, b'')),
    'tempo-length.mid': with_event(0, bytes([0xFF, 0x51, 0x02, 0x07, 0xA1])),
    'unknown-meta.mid': with_event(0, m.meta(0x09, b'x')),
    'long-delta.mid': head([b'MTrk' + struct.pack('>I', 9) + b'\x81\x80\x80\x80\x00\x90\x3C\x40\x00']),
    'delta-4-bytes.mid': head([m.track(notes + [(0x200000, b'\x90\x3D\x40')])]),
    'controller-128.mid': with_event(0, b'\xB0\x80\x10'),
    'event-cut.mid': head([b'MTrk' + struct.pack('>I', 2) + b'\x00\x90']),
}
for name, data in files.items():
    open(name, 'wb').write(data)
PY

while IFS='|' read -r file regex; do
    [ -n "$file" ] || continue
    check "midi $file" 1 "^festoonery-tool midi: $regex" -- "$TOOL" midi "$file"
done <<'TABLE'
truncated.mid|Track chunk [0-9]+ is [0-9]+ bytes long but only [0-9]+ bytes are left in the file, truncated MIDI file\? \(at src/util/music/midi\.cpp:[0-9]+\)$
header-only.mid|Unexpected end of MIDI data: 2 more bytes needed, 0 left\. Truncated MIDI file\?
empty.mid|Unknown header info, MIDI file format not recognized The file starts with nothing \(it is empty\); a standard MIDI file starts with "MThd" 00 00 00 06\. \(at
header7.mid|Unknown header info, MIDI file format not recognized
no-mtrk.mid|Could not find track chunk header, unrecognized file format!
missing-chunk.mid|Unexpected end of MIDI data|Could not find track chunk header
chunk-past-end.mid|Track chunk 1 is [0-9]+ bytes long but only [0-9]+ bytes are left
pitch-bend.mid|Pitch bend \(status E0\) in track 1 at byte [0-9]+: the reader takes notes, controllers, aftertouch and channel pressure\. festoonery-tool midi-import IN OUT writes a copy .* \(at src/util/music/midi\.cpp:[0-9]+\)$
program-change.mid|Program change \(status C0\) in track 1 at byte [0-9]+: .* \(at src/util/music/midi\.cpp:[0-9]+\)$
sysex.mid|Got SysEx event, not supported yet, panicking! SysEx event \(status F0\) in track 1 at byte [0-9]+\.
second-name.mid|Retrieving track name failed! A second track name event in track 1 at byte [0-9]+
empty-text.mid|Retrieving text info failed! The text event in track 1 at byte [0-9]+ is empty \(length 0\)\.
tempo-length.mid|Expected 0x03
unknown-meta.mid|Unknown meta event, panicking! Device name meta event \(FF 09\) in track 1 at byte [0-9]+
long-delta.mid|Found 4 bytes of delta time without a 0 MSB
controller-128.mid|Controller number 128 out of range 0-127
event-cut.mid|Unexpected end of MIDI data
nothere.mid|Failed to open file nothere\.mid \(at src/util/music/midi\.cpp:[0-9]+\)$
TABLE

# The longest delta time there is (four bytes, 81 80 80 00) is no damage.
check "midi delta-4-bytes.mid" 0 '^$' -- "$TOOL" midi delta-4-bytes.mid
grep -q '^   "Keys", 3 note events, 2 different, first at 0.00, low/high C5/C#5 (60/61)$' "$OUT" &&
    pass "four-byte delta read" || fail "four-byte delta: $(cat "$OUT")"

# ---- damaged descriptions: each a copy of music/ with one change ----
python3 - <<'PY'
import os, shutil
def variant(name, file, old, new, closing=False):
    shutil.copytree('music', name)
    path = os.path.join(name, file)
    text = open(path).read()
    assert old in text, (name, old)
    text = text.replace(old, new)
    if closing:  # the element is renamed: its end tags too
        text = text.replace('</' + old[1:].rstrip(' >') + '>', '</' + new[1:].rstrip(' >') + '>')
    open(path, 'w').write(text)
variant('no-decay', 'Festoonery.xml', '<decay unit="s" slope="exp">0.2</decay>', '')
variant('no-release', 'Festoonery.xml', '<release unit="s" slope="exp_inv">0.5</release>', '')
variant('no-wave', 'Festoonery.xml', '<wave>sine</wave>', '')
variant('square', 'Festoonery.xml', '<wave>sine</wave>', '<wave>square</wave>')
variant('no-denominator', 'Festoonery.xml', '<denominator>8t</denominator>', '')
variant('no-cc', 'Festoonery.xml', '<cc>1</cc>', '')
variant('no-template', 'Festoonery.xml', '<template file="wobble.xml"/>', '')
variant('gone-template', 'Festoonery.xml', 'wobble.xml', 'gone.xml')
variant('capital-unit', 'Festoonery.xml', '<attack unit="s"', '<attack unit="S"')
variant('percent-unit', 'Festoonery.xml', 'unit="percent"', 'unit="Percent"')
variant('capital-slope', 'Festoonery.xml', 'slope="linear"', 'slope="Linear"')
variant('intensity-unit', 'Festoonery.xml', '<intensity unit="float">0.8', '<intensity unit="percent">0.8')
variant('no-track', 'Festoonery.xml', 'association="Pad"', 'association="Drums"')
variant('flash-no-track', 'Festoonery.xml', 'association="Lead" name="nothing here"',
        'association="Drums" name="nothing here"')
variant('no-root', 'Festoonery.xml', '<modulators ', '<modulatorz ', closing=True)
variant('broken-xml', 'Festoonery.xml', '</envelope>', '')
variant('no-range', 'wobble.xml', '<range>', '<rang>', closing=True)
variant('range-no-max', 'wobble.xml', '<max>63</max>', '')
variant('no-unit', 'wobble.xml', '<unit>', '<units>', closing=True)
variant('no-stream', 'Festoonery.xml', 'song.ogg', 'gone.ogg')
variant('bad-stream', 'Festoonery.xml', 'song.ogg', 'wobble.xml')
variant('no-midi', 'Festoonery.xml', 'song.mid', 'gone.mid')
shutil.copytree('music', 'cut-midi')
data = open('cut-midi/song.mid', 'rb').read()
open('cut-midi/song.mid', 'wb').write(data[:len(data) - 5])
PY

while IFS='|' read -r folder regex; do
    [ -n "$folder" ] || continue
    check "sync $folder" 1 "^festoonery-tool sync: $regex" -- "$TOOL" sync "$folder/Festoonery.xml"
done <<'TABLE'
no-decay|env_element->FirstChildElement\( "decay" \) is NULL \(at src/util/music/sync_elements\.cpp:[0-9]+\)$
no-release|env_element->FirstChildElement\( "release" \) is NULL
no-wave|lfo_element->FirstChildElement\( "wave" \) is NULL
square|Unrecognized LFO wave type: square
no-denominator|tempo_element->FirstChildElement\( "denominator" \) is NULL
no-cc|tempo_element->FirstChildElement\( "controller" \)->FirstChildElement\( "cc" \) is NULL
no-template|tempo_element->FirstChildElement\( "controller" \)->FirstChildElement\( "template" \) is NULL
gone-template|Could not load gone-template/gone\.xml\. Error='Failed to open file'\. Exiting\. \(at
capital-unit|Unrecognized unit type: S \(at
percent-unit|Unrecognized unit type: Percent \(at
capital-slope|Unrecognized slope type: Linear
intensity-unit|Unexpected intensity unit: percent
no-track|No MIDI track named 'Drums'
no-root|element is NULL \(at
broken-xml|Could not load broken-xml/Festoonery\.xml\. Error='[^']+'\. Exiting\.
no-range|element->FirstChildElement\( "template" \)->FirstChildElement\( "range" \) is NULL
range-no-max|cur_el->FirstChildElement\( "max" \) is NULL
no-unit|element is NULL \(at
no-stream|Failed to open no-stream/gone\.ogg
bad-stream|bad-stream/wobble\.xml cannot be played: .*; the demo would stop with "Failed to start the music!"$
no-midi|Failed to open file no-midi/gone\.mid
cut-midi|.*truncated MIDI file\?|.*Truncated MIDI file\?
nothere|Could not load nothere/Festoonery\.xml\. Error='Failed to open file'\. Exiting\.
TABLE

# An element of neither kind adds nothing, whatever track it names.
check "sync flash-no-track" 0 '^$' -- "$TOOL" sync flash-no-track/Festoonery.xml
grep -q "^ignored modulator 'nothing here' for track 'Drums' (<flash>): neither lfo nor envelope$" "$OUT" &&
    pass "neither kind needs no track" || fail "flash-no-track: $(cat "$OUT")"

# --verbose shows the engine's lines up to a refusal, then the one error line.
check "sync --verbose no-decay" 1 "env_element->FirstChildElement\( \"decay\" \) is NULL" -- "$TOOL" --verbose sync no-decay/Festoonery.xml
grep -q "^[0-9 :-]*   found modulator 'kick glow' for track 'Bass'$" "$OUT" &&
    pass "sync --verbose: the lines before the refusal" || fail "sync --verbose: $(cat "$OUT")"
check "midi --verbose sysex.mid" 1 "Got SysEx event" -- "$TOOL" --verbose midi sysex.mid
grep -q "Loading MIDI file sysex\.mid" "$OUT" && pass "midi --verbose: the lines before the refusal" ||
    fail "midi --verbose: $(cat "$OUT")"

# ---- usage ----
check "midi without a file" 2 "which MIDI file\?" -- "$TOOL" midi
check "midi with two files" 2 "one MIDI file at a time" -- "$TOOL" midi a.mid b.mid
check "midi unknown option" 2 "unknown option '-x'" -- "$TOOL" midi -x music/song.mid
check "sync without a file" 2 "which sync description\?" -- "$TOOL" sync
check "sync on a music file" 2 "music/song\.ogg is a music file" -- "$TOOL" sync music/song.ogg
check "sync on another format" 1 "Music format \.txt not supported" -- "$TOOL" sync notes.txt
for command in midi sync; do
    check "$command --help" 0 '^$' -- "$TOOL" "$command" --help
    grep -Eq "^Usage: festoonery-tool $command FILE( \[.*)?$" "$OUT" && pass "$command --help text" || fail "$command --help: $(cat "$OUT")"
    "$TOOL" --help | grep -q "^  $command " && pass "$command in the overview" || fail "$command not in the overview"
done

finish
