#!/usr/bin/python3
"""Reads a standard MIDI file independently of the engine and checks that it holds only
what the engine's reader accepts, and what the production needs of it:

- header "MThd" 00 00 00 06, format 1, ticks per quarter note below 0x8000;
- per chunk "MTrk"; events: note off/on, control change (controller < 128), meta
  track name (one per track), tempo, time signature, key signature, end of track
  (length 0); nothing else (no program change, pitch bend, sysex, other metas);
- exactly one tempo, whose 60000000 / u is exact to two decimals;
- every track named and holding notes (the reader drops tracks without notes);
- balanced notes (every on has its off) and data bytes below 128;
- the last event at or after the given minimum length in beats.

Prints one summary line per track and exits 1 with a message on the first problem.
Usage: check_midi.py FILE [MIN_BEATS]
"""
import sys


class Bad(Exception):
    pass


def need(cond, msg):
    if not cond:
        raise Bad(msg)


def read_vlq(data, pos):
    value = 0
    for i in range(4):
        need(pos < len(data), "delta time runs past the end")
        b = data[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            return value, pos
    raise Bad("delta time longer than four bytes")


def check(data, min_beats):
    need(data[:8] == b"MThd\x00\x00\x00\x06", "bad header")
    fmt = int.from_bytes(data[8:10], "big")
    count = int.from_bytes(data[10:12], "big")
    division = int.from_bytes(data[12:14], "big")
    need(fmt == 1, "format %d, expected 1" % fmt)
    need(0 < division < 0x8000, "division %d is not ticks per quarter" % division)
    pos = 14
    tempos = []
    summary = []
    last_beat = 0.0
    for index in range(count):
        need(data[pos:pos + 4] == b"MTrk", "chunk %d is not MTrk" % index)
        length = int.from_bytes(data[pos + 4:pos + 8], "big")
        pos += 8
        end = pos + length
        need(end <= len(data), "chunk %d runs past the end of the file" % index)
        ticks = 0
        name = None
        ons = {}
        notes = 0
        ended = False
        first_note = None
        while pos < end:
            need(not ended, "events after end of track in chunk %d" % index)
            delta, pos = read_vlq(data, pos)
            ticks += delta
            status = data[pos]
            need(status & 0x80, "running status or data byte at %d" % pos)
            pos += 1
            kind = status & 0xF0
            where = "track %s at tick %d" % (name, ticks)
            if kind in (0x80, 0x90):
                note, vel = data[pos], data[pos + 1]
                pos += 2
                need(note < 128 and vel < 128, "data byte >= 128 at " + where)
                key = (status & 0x0F, note)
                notes += 1
                if first_note is None:
                    first_note = ticks
                if kind == 0x90 and vel > 0:
                    need(key not in ons, "note %d on twice at %s" % (note, where))
                    ons[key] = ticks
                else:
                    need(key in ons, "note %d off without on at %s" % (note, where))
                    del ons[key]
            elif kind == 0xB0:
                c, v = data[pos], data[pos + 1]
                pos += 2
                need(c < 128 and v < 128, "controller data >= 128 at " + where)
            elif status == 0xFF:
                mtype, mlen = data[pos], data[pos + 1]
                body = data[pos + 2:pos + 2 + mlen]
                pos += 2 + mlen
                need(mlen < 128, "meta length would need more than one byte")
                if mtype == 0x03:
                    need(name is None, "second track name in chunk %d" % index)
                    need(mlen > 0 and 0 not in body, "empty or NUL track name")
                    name = body.decode("ascii")
                elif mtype == 0x51:
                    need(mlen == 3, "tempo length %d" % mlen)
                    tempos.append(int.from_bytes(body, "big"))
                elif mtype == 0x58:
                    need(mlen == 4, "time signature length %d" % mlen)
                elif mtype == 0x59:
                    need(mlen == 2, "key signature length %d" % mlen)
                elif mtype == 0x2F:
                    need(mlen == 0, "end of track length %d" % mlen)
                    ended = True
                else:
                    raise Bad("meta event 0x%02X at %s is not accepted" % (mtype, where))
            else:
                raise Bad("event 0x%02X at %s is not accepted" % (status, where))
        need(pos == end, "chunk %d: events overrun the chunk" % index)
        need(ended, "chunk %d has no end of track" % index)
        need(name is not None, "chunk %d has no name" % index)
        need(notes > 0, "track %s has no notes and would be dropped" % name)
        need(not ons, "track %s leaves notes sounding" % name)
        last_beat = max(last_beat, ticks / division)
        summary.append('  "%s": %d note events, first at %.2f' % (name, notes, first_note / division))
    need(pos == len(data), "bytes after the last chunk")
    need(len(tempos) == 1, "%d tempo events, expected exactly one" % len(tempos))
    bpm = 60000000.0 / tempos[0]
    need(abs(round(bpm, 2) - bpm) < 1e-9, "tempo %.6f bpm is not exact to two decimals" % bpm)
    need(last_beat >= min_beats, "ends at beat %.2f, shorter than %.2f" % (last_beat, min_beats))
    return bpm, last_beat, summary


def main():
    path = sys.argv[1]
    min_beats = float(sys.argv[2]) if len(sys.argv) > 2 else 0.0
    with open(path, "rb") as f:
        data = f.read()
    try:
        bpm, beats, summary = check(data, min_beats)
    except (Bad, IndexError) as e:
        print("%s: %s" % (path, e if isinstance(e, Bad) else "truncated file"))
        return 1
    print("%s: %.2f bpm, %.2f beats, %d tracks" % (path, bpm, beats, len(summary)))
    print("\n".join(summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
