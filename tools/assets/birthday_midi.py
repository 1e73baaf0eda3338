#!/usr/bin/python3
"""Writes the birthday composition Festoonery.mid, byte by byte.

The engine's reader accepts a small subset of the standard MIDI file format, so the
file holds only: format 1, named tracks (meta 0x03), one tempo (meta 0x51), one time
signature (0x58), one key signature (0x59), note on/off, control changes (volume 7,
pan 10, modulation 1, expression 11) and end of track (0x2F 00). No program changes
(the instruments are chosen when the soundtrack is rendered, see instruments.txt), no
pitch bend, no system exclusive, no other meta events. Every track holds notes,
because the reader drops tracks without notes.

Timeline in beats (quarter notes, 120 bpm, 4/4; bar n starts at beat 4n):
  0-20    intro: strings and celesta alone (the greeting text scrolls)
  20-52   the tune enters: flute, piano, bass, light drums (the picture is shown)
  50-52   a big drum fill into
  52-116  full band, a whole step higher: brass, strings, driving bass, full drums
          (starfield and fireworks)
  116-120 the final chord; the tracks end at beat 122 to let it ring out
"""
import struct
import sys

PPQ = 480                 # ticks per quarter note (= per beat)
TEMPO_US = 500000         # microseconds per quarter note: exactly 120.00 bpm
END_BEAT = 122

# Note numbers: C4 = 60.
NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def n(name):
    """'C4', 'F#3', 'Bb4' -> MIDI note number."""
    pitch = NOTE[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        pitch += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        pitch -= 1
        rest = rest[1:]
    return pitch + 12 * (int(rest) + 1)


def vlq(value):
    """A variable-length quantity, at most four bytes."""
    assert 0 <= value < (1 << 28)
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    def __init__(self, name, channel):
        self.name = name
        self.channel = channel
        self.events = []          # (tick, order, bytes); order: offs, meta, cc, ons

    def meta(self, beat, kind, data):
        self.events.append((int(round(beat * PPQ)), 1, bytes([0xFF, kind, len(data)]) + data))

    def cc(self, beat, controller, value):
        assert 0 <= controller < 128 and 0 <= value < 128
        self.events.append((int(round(beat * PPQ)), 2,
                            bytes([0xB0 | self.channel, controller, value])))

    def note(self, beat, length, note, velocity):
        assert 0 <= note < 128 and 0 < velocity < 128 and length > 0
        on = int(round(beat * PPQ))
        off = int(round((beat + length) * PPQ))
        self.events.append((on, 3, bytes([0x90 | self.channel, note, velocity])))
        self.events.append((off, 0, bytes([0x80 | self.channel, note, 64])))

    def chunk(self):
        body = bytearray()
        body += vlq(0) + bytes([0xFF, 0x03, len(self.name)]) + self.name.encode("ascii")
        last = 0
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            body += vlq(tick - last) + data
            last = tick
        end = END_BEAT * PPQ
        assert end >= last
        body += vlq(end - last) + bytes([0xFF, 0x2F, 0x00])
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


# ---------------------------------------------------------------------------
# The composition.

# The tune, 8 bars in C major: (beat within the phrase, length, note).
TUNE = [
    (0, 1, "E4"), (1, 1, "G4"), (2, 1.5, "C5"), (3.5, 0.5, "B4"),
    (4, 1, "A4"), (5, 1, "G4"), (6, 2, "E4"),
    (8, 1, "F4"), (9, 1, "A4"), (10, 1.5, "D5"), (11.5, 0.5, "C5"),
    (12, 1, "B4"), (13, 1, "A4"), (14, 2, "G4"),
    (16, 1, "E4"), (17, 1, "G4"), (18, 1, "C5"), (19, 1, "E5"),
    (20, 1, "D5"), (21, 1, "C5"), (22, 1, "A4"), (23, 1, "F4"),
    (24, 1, "G4"), (25, 0.5, "B4"), (25.5, 0.5, "D5"), (26, 1, "C5"), (27, 1, "B4"),
    (28, 3, "C5"),
]
# One chord per bar of the tune: root for the bass, then the chord tones.
TUNE_CHORDS = [("C", "C E G"), ("A", "A C E"), ("D", "D F A"), ("G", "G B D"),
               ("C", "C E G"), ("F", "F A C"), ("G", "G B D"), ("C", "C E G")]
INTRO_CHORDS = [("C", "C E G"), ("A", "A C E"), ("F", "F A C"), ("G", "G B D"),
                ("G", "G B D F")]


def chord_notes(tones, octave, shift):
    """Chord tones stacked upwards from the given octave, transposed by shift."""
    out = []
    base = None
    for t in tones.split():
        v = n(t + str(octave)) + shift
        while base is not None and v <= base:
            v += 12
        out.append(v)
        base = v
    return out


def build():
    lead = Track("Lead", 0)        # flute: the tune, 20-52
    bass = Track("Bass", 1)        # fingered bass, from 20
    piano = Track("Piano", 2)      # piano comping, 20-52
    brass = Track("Brass", 3)      # brass section: the tune, 52-116
    strings = Track("Strings", 4)  # string pad throughout; modulation wheel
    celesta = Track("Celesta", 5)  # intro arpeggios, sparkles later
    drums = Track("Drums", 9)      # General MIDI percussion
    tracks = [lead, bass, piano, brass, strings, celesta, drums]

    # The file-wide properties live in the first track, which also has notes.
    lead.meta(0, 0x51, TEMPO_US.to_bytes(3, "big"))
    lead.meta(0, 0x58, bytes([4, 2, 24, 8]))        # 4/4, 24 clocks, 8 32nds
    lead.meta(0, 0x59, bytes([0, 0]))               # C major

    mix = {"Lead": (100, 64), "Bass": (110, 64), "Piano": (84, 44), "Brass": (104, 72),
           "Strings": (88, 84), "Celesta": (80, 40), "Drums": (108, 64)}
    for t in tracks:
        vol, pan = mix[t.name]
        t.cc(0, 7, vol)
        t.cc(0, 10, pan)
        t.cc(0, 11, 127)

    # --- Intro, beats 0-20: pad and celesta arpeggios.
    for bar, (root, tones) in enumerate(INTRO_CHORDS):
        b0 = bar * 4
        for v in chord_notes(tones, 3, 0):
            strings.note(b0, 4, v, 58 + 4 * bar)
        arp = chord_notes(tones, 5, 0)
        pattern = arp + [arp[0] + 12] + list(reversed(arp))
        for i in range(8):
            celesta.note(b0 + i * 0.5, 0.5, pattern[i % len(pattern)], 70 + (i % 2) * 12)
    # Gentle modulation swell on the pad (the lfo modulator listens to cc 1).
    for i in range(0, 41):
        strings.cc(i * 0.5, 1, min(127, i * 3))
    # A short lead-in: a soft snare and tom pickup on beat 19.
    for k, (beat, note) in enumerate(((19.0, 38), (19.25, 38), (19.5, 45), (19.75, 43))):
        drums.note(beat, 0.25, note, 70 + 10 * k)

    # --- Section two, beats 20-52: the tune enters.
    for beat, length, name in TUNE:
        lead.note(20 + beat, length * 0.95, n(name), 90)
    for bar, (root, tones) in enumerate(TUNE_CHORDS):
        b0 = 20 + bar * 4
        r = n(root + "2")
        for beat, length, off in ((0, 1.5, 0), (1.5, 0.5, 7), (2, 1.5, 12), (3.5, 0.5, 7)):
            bass.note(b0 + beat, length * 0.9, r + off, 88)
        for beat in (0, 1.5, 2.5):
            for v in chord_notes(tones, 4, 0):
                piano.note(b0 + beat, 0.9, v, 62)
        for v in chord_notes(tones, 3, 0):
            strings.note(b0, 4, v, 50)
        for i in range(8):
            drums.note(b0 + i * 0.5, 0.25, 42, 58 if i % 2 else 72)      # closed hat
        drums.note(b0, 0.5, 36, 92)
        drums.note(b0 + 2, 0.5, 36, 84)
        if bar < 7:
            drums.note(b0 + 1, 0.5, 38, 72)
            drums.note(b0 + 3, 0.5, 38, 76)
    drums.note(20, 1, 49, 100)                                          # crash as it enters
    # Modulation falls back while the tune plays, rises again before the change.
    for i in range(0, 33):
        strings.cc(20 + i, 1, max(0, 120 - i * 6) if i < 20 else (i - 20) * 10)

    # --- The fill, beats 48-52: the last bar of section two builds up.
    drums.note(49, 0.5, 38, 96)      # the bar's kicks and hats come from the loop above
    for k in range(8):                                   # snare sixteenths, crescendo
        drums.note(50 + k * 0.25, 0.25, 38, min(127, 80 + k * 6))
    for k, note in enumerate((50, 48, 47, 45, 43, 41, 43, 41)):   # toms falling
        drums.note(51 + k * 0.125, 0.125, note, min(127, 100 + k * 3))

    # --- Section three, beats 52-116: full band, a whole step up (D major).
    up = 2
    for rep in range(2):
        s0 = 52 + rep * 32
        for beat, length, name in TUNE:
            v = n(name) + up
            brass.note(s0 + beat, length * 0.9, v, 104 + rep * 8)
            if rep == 1:
                lead.note(s0 + beat, length * 0.9, v + 12, 90)       # flute an octave up
        for bar, (root, tones) in enumerate(TUNE_CHORDS):
            b0 = s0 + bar * 4
            r = n(root + "2") + up
            for i in range(8):                                        # driving eighths
                bass.note(b0 + i * 0.5, 0.45, r + (12 if i % 2 else 0), 108)
            for v in chord_notes(tones, 4, up):
                strings.note(b0, 4, v, 82)
            for v in chord_notes(tones, 3, up):
                strings.note(b0, 4, v, 74)
            # Celesta sparkles: chord tones up high on the off-beats.
            arp = chord_notes(tones, 6, up)
            for i in range(4):
                celesta.note(b0 + i + 0.5, 0.5, arp[i % len(arp)], 64 + rep * 10)
            last_bar = rep == 1 and bar == 7
            for i in range(8):
                drums.note(b0 + i * 0.5, 0.25, 46 if i % 2 else 42, 84 if i % 2 else 96)
            drums.note(b0, 0.5, 36, 118)
            drums.note(b0 + 1.5, 0.5, 36, 100)
            drums.note(b0 + 2, 0.5, 36, 112)
            drums.note(b0 + 1, 0.5, 38, 110)
            drums.note(b0 + 3, 0.5, 38, 114)
            drums.note(b0 + 1, 0.5, 54, 80)                           # tambourine
            drums.note(b0 + 3, 0.5, 54, 80)
            if bar % 4 == 0:
                drums.note(b0, 1, 49, 112)
            if bar == 3 or bar == 7:                                  # phrase fills
                for k, note in enumerate((48, 47, 45, 43)):
                    drums.note(b0 + 3 + k * 0.25, 0.25, note, 104 + k * 4)
            if last_bar:
                for k in range(4):
                    drums.note(b0 + 2 + k * 0.25, 0.25, 38, 100 + k * 6)
        for i in range(0, 33):
            strings.cc(s0 + i, 1, 40 + (i % 8) * 10)

    # --- The final chord, beats 116-120, ringing out to 122.
    final = chord_notes("D F# A", 4, 0)
    for v in final:
        brass.note(116, 4, v, 118)
        strings.note(116, 5, v, 96)
        strings.note(116, 5, v - 12, 90)
    lead.note(116, 4, n("D6"), 96)
    bass.note(116, 4, n("D2"), 116)
    bass.note(116, 4, n("D1"), 110)
    celesta.note(116, 2, n("D7"), 90)
    piano.note(116, 4, n("D3"), 90)
    for v in final:
        piano.note(116, 4, v, 92)
    drums.note(116, 2, 49, 124)
    drums.note(116, 2, 57, 118)
    drums.note(116, 1, 36, 124)
    strings.cc(116, 1, 0)
    return tracks


def write(path):
    tracks = build()
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ)
    data = header + b"".join(t.chunk() for t in tracks)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    write(sys.argv[1] if len(sys.argv) > 1 else "data/common/music/Festoonery.mid")
