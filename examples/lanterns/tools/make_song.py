#!/usr/bin/python3
"""Writes the example's song: lanterns.mid (the composition) and lanterns.ogg (its sound).

56 beats at 120 bpm in 4/4 (28 seconds, one more second to ring out). Track "Pad": one
chord per two bars throughout. Track "Bells": a pentatonic tune of two eight-beat
phrases from beat 8. Track "Kick": a kick drum on every beat from beat 24 (where the
stars come up), doubled from beat 40 (the fireworks). The sound is synthesised here from
the same notes, so the kick is heard where the MIDI file has it; it is encoded with
libsndfile (Ogg Vorbis), which the engine itself uses to decode. The Ogg stream's serial
number, which libsndfile draws at random, is then set to a fixed one, so that two runs
write the same bytes. Run from anywhere; writes beside this script's ../data/.
"""
import ctypes
import math
import os
import struct

PPQ = 480
TEMPO_US = 500000  # 120.00 bpm
BEATS = 56
RATE = 44100
SECONDS_PER_BEAT = 0.5
OGG_SERIAL = 0x4C414E54  # "LANT"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data")


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track(name, notes, tempo=False):
    """notes: (start beat, length in beats, note number, velocity)."""
    events = [(0, 0, b"\xff\x03" + bytes([len(name)]) + name.encode())]
    if tempo:
        events.append((0, 0, b"\xff\x51\x03" + TEMPO_US.to_bytes(3, "big")))
        events.append((0, 0, b"\xff\x58\x04\x04\x02\x18\x08"))
    for start, length, note, velocity in notes:
        events.append((round(start * PPQ), 2, bytes([0x90, note, velocity])))
        events.append((round((start + length) * PPQ), 1, bytes([0x80, note, 0])))
    events.sort(key=lambda e: (e[0], e[1]))
    data, last = b"", 0
    for tick, _, body in events:
        data += vlq(tick - last) + body
        last = tick
    data += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def kicks():
    out = []
    for beat in range(24, BEATS):
        out.append((beat, 0.25, 36, 110))
        if beat >= 40:
            out.append((beat + 0.5, 0.25, 36, 80))
    return out


# A minor, F, C and G, one per eight beats, back to A minor at the end.
CHORDS = [(57, 60, 64), (53, 57, 60), (55, 60, 64), (55, 59, 62), (57, 60, 64), (53, 57, 60), (57, 60, 64)]


def pads():
    out = []
    for bar in range(0, BEATS, 8):
        for note in CHORDS[bar // 8]:
            out.append((bar, 7.5, note, 64))
    return out


# (beat within the phrase, length in beats, note): A minor pentatonic.
PHRASE_A = [(0, 1, 76), (1, 0.5, 74), (1.5, 0.5, 72), (2, 1, 74), (3, 1, 69), (4, 1.5, 72), (5.5, 0.5, 74),
            (6, 2, 76)]
PHRASE_B = [(0, 1, 79), (1, 0.5, 76), (1.5, 0.5, 74), (2, 1, 76), (3, 1, 81), (4, 1.5, 79), (5.5, 0.5, 76),
            (6, 2, 74)]


def bells():
    out = []
    for i, start in enumerate(range(8, BEATS, 8)):
        for at, length, note in (PHRASE_A if i % 2 == 0 else PHRASE_B):
            out.append((start + at, length, note, 96 if at == 0 else 80))
    return out


def write_midi(path):
    header = b"MThd" + struct.pack(">IHHH", 6, 1, 3, PPQ)
    with open(path, "wb") as f:
        f.write(header + track("Kick", kicks(), tempo=True) + track("Bells", bells()) + track("Pad", pads()))


def render():
    frames = int((BEATS + 2) * SECONDS_PER_BEAT * RATE)
    mix = [0.0] * frames
    for start, length, note, velocity in kicks():
        at = int(start * SECONDS_PER_BEAT * RATE)
        amp = velocity / 127.0 * 0.8
        phase = 0.0
        for i in range(int(0.3 * RATE)):
            if at + i >= frames:
                break
            t = i / RATE
            phase += 2 * math.pi * (45 + 90 * math.exp(-t * 30)) / RATE
            mix[at + i] += amp * math.sin(phase) * math.exp(-t * 12)
    for start, length, note, velocity in pads():
        freq = 440.0 * 2 ** ((note - 69) / 12)
        at = int(start * SECONDS_PER_BEAT * RATE)
        n = int(length * SECONDS_PER_BEAT * RATE)
        amp = velocity / 127.0 * 0.07
        step = 2 * math.pi * freq / RATE
        for i in range(n + int(0.5 * RATE)):
            if at + i >= frames:
                break
            env = min(1.0, i / (0.6 * RATE)) * (1.0 if i < n else math.exp(-(i - n) / (0.12 * RATE)))
            x = step * i
            mix[at + i] += amp * env * (math.sin(x) + 0.3 * math.sin(2 * x) + 0.1 * math.sin(3 * x))
    # Bells: three inharmonic partials, struck and left to ring for 1.5 seconds.
    for start, length, note, velocity in bells():
        freq = 440.0 * 2 ** ((note - 69) / 12)
        at = int(start * SECONDS_PER_BEAT * RATE)
        amp = velocity / 127.0 * 0.22
        steps = [2 * math.pi * freq * ratio / RATE for ratio in (1.0, 2.76, 5.4)]
        for i in range(int(1.5 * RATE)):
            if at + i >= frames:
                break
            t = i / RATE
            mix[at + i] += amp * min(1.0, i / 40.0) * (
                math.sin(steps[0] * i) * math.exp(-t * 2.5) + 0.4 * math.sin(steps[1] * i) * math.exp(-t * 5.0)
                + 0.15 * math.sin(steps[2] * i) * math.exp(-t * 9.0))
    peak = max(abs(v) for v in mix) or 1.0
    return [v * 0.9 / peak for v in mix]


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def write_ogg(path, samples):
    sf = ctypes.CDLL("libsndfile.so.1")
    sf.sf_open.restype = ctypes.c_void_p
    sf.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    sf.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_float), ctypes.c_int64]
    sf.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    sf.sf_close.argtypes = [ctypes.c_void_p]
    info = SfInfo(0, RATE, 2, 0x200000 | 0x0060, 0, 0)  # SF_FORMAT_OGG | SF_FORMAT_VORBIS
    handle = sf.sf_open(path.encode(), 0x20, ctypes.byref(info))  # SFM_WRITE
    if not handle:
        raise SystemExit("libsndfile cannot write " + path)
    quality = ctypes.c_double(0.2)
    sf.sf_command(handle, 0x1300, ctypes.byref(quality), ctypes.sizeof(quality))  # VBR quality
    interleaved = (ctypes.c_float * (2 * len(samples)))()
    for i, v in enumerate(samples):
        interleaved[2 * i] = interleaved[2 * i + 1] = v
    sf.sf_writef_float(handle, interleaved, len(samples))
    sf.sf_close(handle)


def ogg_crc(data):
    """The Ogg page checksum: CRC-32, polynomial 0x04c11db7, unreflected, start 0."""
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def fix_serial(path, serial):
    """Every page of the one logical stream gets `serial`, and its checksum again."""
    data = bytearray(open(path, "rb").read())
    at = 0
    while at < len(data):
        if data[at:at + 4] != b"OggS":
            raise SystemExit("%s: no Ogg page at byte %d" % (path, at))
        segments = data[at + 26]
        body = sum(data[at + 27:at + 27 + segments])
        end = at + 27 + segments + body
        data[at + 14:at + 18] = struct.pack("<I", serial)
        data[at + 22:at + 26] = b"\0\0\0\0"
        data[at + 22:at + 26] = struct.pack("<I", ogg_crc(data[at:end]))
        at = end
    open(path, "wb").write(bytes(data))


if __name__ == "__main__":
    write_midi(os.path.join(OUT, "lanterns.mid"))
    ogg = os.path.join(OUT, "lanterns.ogg")
    write_ogg(ogg, render())
    fix_serial(ogg, OGG_SERIAL)
