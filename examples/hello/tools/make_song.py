#!/usr/bin/python3
"""Writes the example's short song: hello.mid (the composition) and hello.ogg (its sound).

32 beats at 120 bpm in 4/4 (16 seconds, one more second to ring out). Track "Kick": a
kick drum on every beat, doubled in the second half. Track "Pad": one chord per four
bars. The sound is synthesised here from the same notes, so the kick is heard where the
MIDI file has it; it is encoded with libsndfile (Ogg Vorbis), which the engine itself
uses to decode. Run from anywhere; writes beside this script's ../data/.
"""
import ctypes
import math
import os
import struct

PPQ = 480
TEMPO_US = 500000  # 120.00 bpm
BEATS = 32
RATE = 44100
SECONDS_PER_BEAT = 0.5
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
    for beat in range(BEATS):
        out.append((beat, 0.25, 36, 110))
        if beat >= 16:
            out.append((beat + 0.5, 0.25, 36, 80))
    return out


CHORDS = [(48, 52, 55), (45, 48, 52), (41, 45, 48), (43, 47, 50)]


def pads():
    out = []
    for bar in range(0, BEATS, 8):
        for note in CHORDS[(bar // 8) % 4]:
            out.append((bar, 7.5, note, 70))
    return out


def write_midi(path):
    header = b"MThd" + struct.pack(">IHHH", 6, 1, 2, PPQ)
    with open(path, "wb") as f:
        f.write(header + track("Kick", kicks(), tempo=True) + track("Pad", pads()))


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
        amp = velocity / 127.0 * 0.08
        step = 2 * math.pi * freq / RATE
        for i in range(n + int(0.5 * RATE)):
            if at + i >= frames:
                break
            env = min(1.0, i / (0.4 * RATE)) * (1.0 if i < n else math.exp(-(i - n) / (0.12 * RATE)))
            x = step * i
            mix[at + i] += amp * env * (math.sin(x) + 0.3 * math.sin(2 * x) + 0.1 * math.sin(3 * x))
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


if __name__ == "__main__":
    write_midi(os.path.join(OUT, "hello.mid"))
    write_ogg(os.path.join(OUT, "hello.ogg"), render())
