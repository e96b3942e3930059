#!/usr/bin/env python3
"""Writes examples/example.mid, the bundled example song.

A format-1 file at 480 ticks per quarter note, 100 beats per minute:
  track 1: tempo and title only (no notes, so it makes no layer)
  track 2: "Bass": a four-note figure played twice, the second time a fifth
           higher (one motif, two placements)
  track 3: "Lead" on program 81: a melody with pitch bends inside notes and a
           passage under the sustain pedal
  track 4: "Drums" on channel 10: a repeated kick/snare/hat bar (drum motif)
  track 5: no name, piano chords, and a second tempo event (a warning)
Run it from anywhere: python3 examples/make_example.py
"""
import os
import struct

TPQ = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    def __init__(self):
        self.events = []  # (absolute tick, order, bytes)

    def add(self, tick, data):
        self.events.append((tick, len(self.events), bytes(data)))

    def meta(self, tick, kind, payload):
        self.add(tick, [0xFF, kind] + list(vlq(len(payload))) + list(payload))

    def note(self, tick, length, key, velocity, channel=0):
        self.add(tick, [0x90 | channel, key, velocity])
        self.add(tick + length, [0x80 | channel, key, 64])

    def chunk(self):
        body = b""
        now = 0
        for tick, _, data in sorted(self.events):
            body += vlq(tick - now) + data
            now = tick
        body += vlq(0) + b"\xFF\x2F\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + body


def main():
    tracks = []

    conductor = Track()
    conductor.meta(0, 0x03, b"Example song")
    conductor.meta(0, 0x51, (600000).to_bytes(3, "big"))  # 100 BPM
    conductor.meta(0, 0x58, bytes([4, 2, 24, 8]))
    tracks.append(conductor)

    bass = Track()
    bass.meta(0, 0x03, b"Bass")
    bass.add(0, [0xC0, 33])
    figure = [(0, 36), (1, 43), (2, 48), (3, 43)]
    for bar, shift in ((0, 0), (1, 7)):
        for beat, key in figure:
            bass.note((bar * 4 + beat) * TPQ, TPQ - 60, key + shift, 100)
    tracks.append(bass)

    lead = Track()
    lead.meta(0, 0x03, b"  Lead  ")
    lead.add(0, [0xC1, 81])
    melody = [(0, 72, 2), (2, 74, 1), (3, 76, 1), (4, 79, 2), (6, 77, 2)]
    for beat, key, beats in melody:
        lead.note(beat * TPQ, beats * TPQ, key, 90, channel=1)
    # a bend up and back inside the first note, a glide inside the fourth
    lead.add(TPQ // 2, [0xE1, 0x00, 0x50])   # raw 10240: +0.5 semitone
    lead.add(TPQ, [0xE1, 0x00, 0x40])        # back to centre
    lead.add(4 * TPQ + 240, [0xE1, 0x00, 0x60])  # +1 semitone
    lead.add(6 * TPQ, [0xE1, 0x00, 0x40])
    # sustain pedal over beats 8-10: the notes end when the pedal lifts
    lead.add(8 * TPQ, [0xB1, 64, 127])
    lead.note(8 * TPQ, 120, 72, 80, channel=1)
    lead.note(8 * TPQ + 240, 120, 76, 80, channel=1)
    lead.add(10 * TPQ, [0xB1, 64, 0])
    tracks.append(lead)

    drums = Track()
    drums.meta(0, 0x03, b"Drums")
    for bar in range(2):
        base = bar * 4 * TPQ
        for step in range(8):
            tick = base + step * TPQ // 2
            drums.note(tick, 60, 42, 70, channel=9)
            if step in (0, 4):
                drums.note(tick, 60, 36, 110, channel=9)
            if step in (2, 6):
                drums.note(tick, 60, 38, 100, channel=9)
    tracks.append(drums)

    piano = Track()
    piano.meta(4 * TPQ, 0x51, (500000).to_bytes(3, "big"))
    for beat, chord in ((0, (60, 64, 67)), (2, (57, 60, 64)), (4, (53, 57, 60)), (6, (55, 59, 62))):
        for key in chord:
            piano.note(beat * TPQ, 2 * TPQ, key, 64, channel=2)
    tracks.append(piano)

    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), TPQ)
    data += b"".join(t.chunk() for t in tracks)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "example.mid")
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
