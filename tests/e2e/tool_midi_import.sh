#!/usr/bin/env bash
# festoonery-tool midi-import as a demo maker uses it on a sequencer's file: every kind
# of event the engine's reader refuses, in a format 1 and a format 0 file with running
# status; the engine's reader then shows every track with the note events that an
# independent reader (Python, below) finds in the original. Refusals are one clean line.
source "$(dirname "$0")/lib_tool.sh"
cd "$WORK"

python3 - <<'PY'
import struct
def vlq(n):
    out = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        out.insert(0, 0x80 | (n & 0x7F))
    return bytes(out)
def meta(kind, data):
    return b'\xFF' + bytes([kind]) + vlq(len(data)) + data
def track(events):
    body = b''.join(vlq(d) + e for d, e in events)
    return b'MTrk' + struct.pack('>I', len(body)) + body
def smf(fmt, tracks, division=480, extra=b''):
    return b'MThd' + struct.pack('>IHHH', 6, fmt, len(tracks), division) + extra.join(tracks)

conductor = track([(0, meta(0x03, b'Conductor')), (0, meta(0x02, b'(c) someone')), (0, meta(0x01, b'made here')),
                   (0, meta(0x51, b'\x07\xA1\x20')), (0, meta(0x58, b'\x04\x02\x18\x08')),
                   (0, meta(0x54, b'\x60\x00\x00\x00\x00')), (0, meta(0x00, b'\x00\x01')),
                   (480, meta(0x06, b'Chorus')), (0, meta(0x7F, b'\x00\x00\x41\x01')), (0, meta(0x2F, b''))])
drums = track([(0, b'\xF0\x05\x7E\x7F\x09\x01\xF7'), (0, meta(0x03, b'')), (0, meta(0x21, b'\x00')),
               (0, b'\xC9\x00'), (0, b'\x99\x24\x64'), (0, b'\x2A\x50'), (120, b'\x24\x00'), (0, b'\x2A\x00'),
               (0, meta(0x05, b'ba')), (120, b'\x26\x70'), (60, b'\xE9\x00\x40'), (60, b'\x89\x26\x40'),
               (0, meta(0x02, b'(c) again')), (0, meta(0x2F, b''))])
# Long lyrics (a length past 127), a second name, SysEx continuation, no end of track.
lead = track([(0, meta(0x03, b'Lead')), (0, meta(0x03, b'Lead again')), (0, b'\xC0\x51'),
              (0, b'\x90\x48\x60'), (0, meta(0x05, b'la' * 100)), (240, b'\xB0\x01\x20'), (0, b'\x02\x30'),
              (0, b'\xE0\x00\x50'), (240, b'\x80\x48\x00'), (0, b'\xF7\x02\x01\xF7'), (0, b'\xD0\x30'),
              (0, b'\x90\x4A\x50'), (480, b'\x4A\x00'), (0, b'\xA0\x4A\x10')])
open('song.mid', 'wb').write(smf(1, [conductor, drums, lead]))
one = track([(0, b'\xF0\x03\x43\x10\xF7'), (0, b'\xC0\x05'), (0, b'\x90\x3C\x40'), (0, b'\x40\x40'),
             (96, b'\x3C\x00'), (0, meta(0x06, b'x')), (0, b'\x40\x00'), (0, meta(0x2F, b''))])
open('zero.mid', 'wb').write(smf(0, [one], division=96))
open('notmidi.mid', 'wb').write(b'\x89PNG\r\n\x1a\nrest')
open('short.mid', 'wb').write(smf(0, [one], division=96)[:30])
PY

# summary FILE: what the engine's summary lists per track with note events, computed by
# an independent reader from the original file ("Track N" for a track without a name).
summary() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
fmt, count, division = struct.unpack('>HHH', data[8:14])
def name(n):
    return ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'][n % 12] + str(n // 12)
p, number = 14, 0
while p + 8 <= len(data):
    kind, length = data[p:p + 4], struct.unpack('>I', data[p + 4:p + 8])[0]
    body, p = data[p + 8:p + 8 + length], p + 8 + length
    if kind != b'MTrk':
        continue
    number += 1
    i, tick, status, title, events, notes = 0, 0, 0, None, 0, {}
    while i < len(body):
        delta = 0
        while True:
            b = body[i]; i += 1; delta = delta << 7 | (b & 0x7F)
            if not b & 0x80: break
        tick += delta
        if body[i] & 0x80:
            s = body[i]; i += 1
        else:
            s = status
        if s == 0xFF:
            kind, i = body[i], i + 1
            n = 0
            while True:
                b = body[i]; i += 1; n = n << 7 | (b & 0x7F)
                if not b & 0x80: break
            if kind == 3 and title is None and body[i:i + n].split(b'\0')[0]:
                title = body[i:i + n].split(b'\0')[0].decode('latin-1')
            i += n
        elif s in (0xF0, 0xF7):
            n = 0
            while True:
                b = body[i]; i += 1; n = n << 7 | (b & 0x7F)
                if not b & 0x80: break
            i += n
        else:
            status = s
            size = 1 if s >> 4 in (0xC, 0xD) else 2
            if s >> 4 in (8, 9):
                note, velocity = body[i], body[i + 1] if s >> 4 == 9 else 0
                events += 1
                times = notes.setdefault(note, [])
                t = tick / division
                if velocity == 0 and not (times and times[-1] < 0):
                    times.append(-t if t else -0.0)
                elif velocity and not (times and times[-1] >= 0):
                    times.append(t)
            i += size
    if events:
        first = next(iter(notes.values()))[0]
        low, high = min(notes), max(notes)
        print('   "%s", %d note events, %d different, first at %.2f, low/high %s/%s (%d/%d)' % (
            title if title is not None else 'Track %d' % number, events, len(notes), first, name(low), name(high),
            low, high))
PY
}

for song in song zero; do
    check "midi-import $song.mid" 0 '^$' -- "$TOOL" midi-import $song.mid $song.engine.mid
    cp "$OUT" $song.report
    check "midi $song.engine.mid" 0 '^$' -- "$TOOL" midi $song.engine.mid
    grep '^   "' "$OUT" >$song.tracks
    summary $song.mid >$song.expected
    if [ -s $song.expected ] && diff -u $song.expected $song.tracks; then
        pass "$song: every track has the original's note events"
    else
        fail "$song: tracks differ"
    fi
done

# What was dropped, counted by kind, and the track that was given a name.
for line in 'dropped 2 program change' 'dropped 2 pitch bend' 'dropped 1 SysEx' 'dropped 1 SysEx continuation (F7)' \
    'dropped 2 lyric' 'dropped 1 empty track name' 'dropped 1 second track name' 'dropped 1 second copyright' \
    'dropped 1 SMPTE offset' 'dropped 1 sequence number' 'dropped 1 marker' 'dropped 1 sequencer-specific' \
    'dropped 1 MIDI port' 'named 1 track without a name: "Track 2"' \
    'read song.mid: format 1, 3 tracks, 480 ticks per quarter note, 38 events'; do
    grep -qxF "$line" song.report && pass "report: $line" || fail "report lacks '$line': $(cat song.report)"
done
grep -q '^wrote song.engine.mid: 3 tracks, ' song.report && pass "report: wrote" || fail "report: $(cat song.report)"
grep -qxF 'dropped 1 program change' zero.report && grep -qxF 'named 1 track without a name: "Track 1"' zero.report &&
    pass "format 0 report" || fail "format 0 report: $(cat zero.report)"

# Importing what was written changes nothing.
check "midi-import again" 0 '^$' -- "$TOOL" midi-import song.engine.mid again.mid
cmp -s song.engine.mid again.mid && grep -qxF 'dropped nothing' "$OUT" && pass "import is idempotent" ||
    fail "a second import changed the file: $(cat "$OUT")"

check "midi-import a PNG" 1 '^festoonery-tool midi-import: notmidi\.mid refused: It is not a standard MIDI file: it starts with 89 50 4E 47' \
    -- "$TOOL" midi-import notmidi.mid out.mid
check "midi-import a cut file" 1 '^festoonery-tool midi-import: short\.mid refused: The chunk at byte 14 is [0-9]+ bytes long, but only 8 bytes follow it' \
    -- "$TOOL" midi-import short.mid out.mid
[ ! -e out.mid ] && pass "nothing written on a refusal" || fail "out.mid was written"
check "midi-import a missing file" 1 '^festoonery-tool midi-import: cannot read nothere\.mid: No such file' \
    -- "$TOOL" midi-import nothere.mid out.mid
check "midi-import one name" 2 'name the MIDI file IN and the file OUT' -- "$TOOL" midi-import song.mid
check "midi-import --help" 0 '^$' -- "$TOOL" midi-import --help
finish
