#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes wav/tune.mid, the short MIDI tune shipped with the program's sound files.

The tune calls "CQ" in Morse code on a square-wave lead, the sound of a CW tone, and answers it
with a little brass fanfare in F major. It lasts about six seconds.

Re-run after changing the tune:

    tools/make-tune.py              # writes wav/tune.mid
    tools/make-tune.py OUTFILE      # writes OUTFILE instead

The Standard MIDI File is written byte by byte with the standard library alone, so the same
script always gives the same file.
"""

import pathlib
import struct
import sys

TICKS_PER_QUARTER = 480
TEMPO_US_PER_QUARTER = 500_000  # 120 beats per minute: a quarter lasts half a second
UNIT = 96  # one Morse unit, 0.1 s: the speed of 12 words per minute

# Channels and their General MIDI programs (numbered from 0).
MORSE, TRUMPET, TROMBONE, TIMPANI = 0, 1, 2, 3
PROGRAMS = {MORSE: 80, TRUMPET: 56, TROMBONE: 57, TIMPANI: 47}  # square lead, brass, timpani

MORSE_PITCH = 77  # F5, about 700 Hz: a usual CW tone
MORSE_CODE = {"C": "-.-.", "Q": "--.-"}


def var_len(value):
    """A MIDI variable-length quantity."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Tune:
    def __init__(self):
        self.events = []  # (tick, order, bytes); note-offs sort before note-ons at one tick

    def note(self, channel, pitch, start, length, velocity=100):
        self.events.append((start, 1, bytes([0x90 | channel, pitch, velocity])))
        self.events.append((start + length, 0, bytes([0x80 | channel, pitch, 0])))

    def track(self):
        head = [
            (0, 0, b"\xff\x51\x03" + TEMPO_US_PER_QUARTER.to_bytes(3, "big")),
            (0, 0, b"\xff\x58\x04\x04\x02\x18\x08"),  # 4/4
        ]
        for channel, program in PROGRAMS.items():
            head.append((0, 0, bytes([0xC0 | channel, program])))
            head.append((0, 0, bytes([0xB0 | channel, 7, 110])))  # channel volume
        events = head + sorted(self.events, key=lambda e: (e[0], e[1]))
        end = max(tick for tick, _, _ in events)
        events.append((end + TICKS_PER_QUARTER // 4, 2, b"\xff\x2f\x00"))  # end of track

        data = bytearray()
        now = 0
        for tick, _, message in events:
            data += var_len(tick - now) + message
            now = tick
        return bytes(data), now

    def smf(self):
        track, length = self.track()
        header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS_PER_QUARTER)
        return header + b"MTrk" + struct.pack(">I", len(track)) + track, length


def morse(tune, text, start):
    """Keys `text` in Morse code from tick `start`; returns the tick after the last element."""
    t = start
    for i, letter in enumerate(text):
        if i:
            t += 2 * UNIT  # three units between letters, one of them already waited
        for symbol in MORSE_CODE[letter]:
            length = UNIT if symbol == "." else 3 * UNIT
            tune.note(MORSE, MORSE_PITCH, t, length, 105)
            t += length + UNIT
    return t - UNIT


def fanfare(tune, start):
    """A short brass fanfare in F major from tick `start`."""
    q = TICKS_PER_QUARTER
    third = q // 3
    t = start
    # Pick-up: three quick repeated notes.
    for i in range(3):
        tune.note(TRUMPET, 72, t + i * third, third - 20, 100)  # C5
    tune.note(TROMBONE, 60, t, q - 20, 90)  # C4
    tune.note(TIMPANI, 48, t, q, 90)  # C3
    t += q
    tune.note(TRUMPET, 77, t, q - 20, 110)  # F5
    tune.note(TROMBONE, 65, t, q - 20, 95)  # F4
    t += q
    tune.note(TRUMPET, 81, t, q // 2 - 20, 110)  # A5
    tune.note(TRUMPET, 79, t + q // 2, q // 2 - 20, 105)  # G5
    tune.note(TROMBONE, 64, t, q - 20, 95)  # E4
    t += q
    # The final chord, held.
    tune.note(TRUMPET, 81, t, 3 * q, 115)  # A5
    tune.note(TRUMPET, 77, t, 3 * q, 100)  # F5
    tune.note(TROMBONE, 60, t, 3 * q, 100)  # C4
    tune.note(TROMBONE, 53, t, 3 * q, 100)  # F3
    tune.note(TIMPANI, 41, t, q, 110)  # F2
    return t + 3 * q


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else (
        pathlib.Path(__file__).resolve().parent.parent / "wav" / "tune.mid")
    tune = Tune()
    end = morse(tune, "CQ", 0)
    fanfare(tune, end + 3 * UNIT)
    data, ticks = tune.smf()
    out.write_bytes(data)
    seconds = ticks * TEMPO_US_PER_QUARTER / TICKS_PER_QUARTER / 1e6
    print(f"{out.name}: {len(data)} bytes, {seconds:.1f} s")


if __name__ == "__main__":
    main()
