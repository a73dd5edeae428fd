#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the two warning sounds of the volume-left alert.

    scripts/make_sounds.py [folder]      (default: resources/sounds of this repository)

30Percent.wav is a soft, falling two-note chime; 15Percent.wav three quicker, rising and
brighter notes, so the two can be told apart without looking. Both are 16-bit mono PCM at
22050 Hz, under 0.6 s, and the output is the same on every run, so the committed files can
be checked against this script.
"""

import math
import os
import struct
import sys
import wave

RATE = 22050


def note(frequency, duration, harmonics, decay):
    """One struck note: a quick attack, an exponential fade and a short release at its end,
    so that a note cut off under the next one does not click.

    harmonics: (multiple of the frequency, relative level) pairs; more and higher ones give
    a brighter, more insistent tone.
    """
    attack = int(0.006 * RATE)
    release = int(0.015 * RATE)
    n = int(duration * RATE)
    samples = []
    for i in range(n):
        t = i / RATE
        envelope = min(1.0, i / attack, (n - 1 - i) / release) * math.exp(-t / decay)
        value = sum(level * math.sin(2 * math.pi * frequency * k * t) for k, level in harmonics)
        samples.append(value * envelope)
    return samples


def mix(length, parts):
    """Adds each (start in seconds, samples) part into a buffer of length seconds."""
    out = [0.0] * int(length * RATE)
    for start, samples in parts:
        offset = int(start * RATE)
        for i, value in enumerate(samples[: len(out) - offset]):
            out[offset + i] += value
    return out


def finish(samples, peak):
    """Scales to the given peak and fades both ends, so that no click starts or ends it."""
    top = max(abs(v) for v in samples) or 1.0
    fade_in = int(0.004 * RATE)
    fade_out = int(0.040 * RATE)
    n = len(samples)
    result = []
    for i, value in enumerate(samples):
        gain = min(1.0, i / fade_in, (n - 1 - i) / fade_out)
        result.append(value / top * peak * gain)
    return result


def write(path, samples):
    frames = b"".join(struct.pack("<h", max(-32767, min(32767, round(v * 32767)))) for v in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def thirty_percent():
    # G5 then E5, mostly the pure tone: a gentle "ding-dong".
    soft = [(1, 1.0), (2, 0.18), (3, 0.05)]
    return finish(
        mix(0.55, [(0.0, note(783.99, 0.55, soft, 0.16)), (0.20, note(659.25, 0.35, soft, 0.14))]),
        peak=0.45,
    )


def fifteen_percent():
    # A5, C#6, E6 in quick succession with odd harmonics: brighter and more urgent.
    bright = [(1, 1.0), (2, 0.25), (3, 0.30), (5, 0.10)]
    return finish(
        mix(
            0.52,
            [
                (0.00, note(880.00, 0.20, bright, 0.07)),
                (0.14, note(1108.73, 0.20, bright, 0.07)),
                (0.28, note(1318.51, 0.24, bright, 0.09)),
            ],
        ),
        peak=0.6,
    )


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "sounds")
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "30Percent.wav"), thirty_percent())
    write(os.path.join(folder, "15Percent.wav"), fifteen_percent())


if __name__ == "__main__":
    main()
