#!/usr/bin/python3
"""Finishes a rendered soundtrack WAV in place: checks 44100 Hz 16-bit stereo, cuts it
to the given length in seconds (the synthesizer renders several seconds of silence
after the last event; the run ends when the music ends, so the tail is cut) with a
fade over the last half second, and checks the level: no clipping and well audible
(peak between -6 and -0.3 dBFS). Prints length, peak and RMS; exits 1 when the level
is out of range, so that the gain must be changed before the OGG is written.
Usage: check_audio.py FILE.wav LENGTH_SECONDS"""
import array
import math
import sys
import wave

RATE = 44100
FADE_S = 0.5


def main():
    path, length_s = sys.argv[1], float(sys.argv[2])
    with wave.open(path, "rb") as w:
        fmt = (w.getframerate(), w.getnchannels(), w.getsampwidth())
        samples = array.array("h", w.readframes(w.getnframes()))
    if fmt != (RATE, 2, 2):
        print("expected 44100 Hz 16-bit stereo, got %d Hz, %d channels, %d-bit" %
              (fmt[0], fmt[1], fmt[2] * 8))
        return 1
    frames = int(round(length_s * RATE))
    if len(samples) // 2 < frames:
        print("render is %.3f s, shorter than %.3f s" % (len(samples) / 2 / RATE, length_s))
        return 1
    del samples[frames * 2:]
    fade = int(FADE_S * RATE)
    for i in range(fade):
        k = (fade - i) / fade
        j = (frames - fade + i) * 2
        samples[j] = int(samples[j] * k)
        samples[j + 1] = int(samples[j + 1] * k)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    peak = max(max(samples), -min(samples)) / 32768.0
    rms = math.sqrt(sum(s * s for s in samples) / len(samples)) / 32768.0
    peak_db = 20 * math.log10(max(peak, 1e-9))
    print("%.3f s, peak %.2f dBFS, rms %.2f dBFS" %
          (frames / RATE, peak_db, 20 * math.log10(max(rms, 1e-9))))
    if not -6.0 <= peak_db <= -0.3:
        print("peak out of range: change the gain (FESTOONERY_GAIN)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
