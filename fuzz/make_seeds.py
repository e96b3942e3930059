#!/usr/bin/env python3
"""Writes the seed corpus of the SMF reader fuzz target: small valid files,
damaged tracks, RMID wrappers, SMPTE timing and odd chunk layouts.

Run from anywhere: python3 fuzz/make_seeds.py [output directory]
"""
import os
import struct
import sys


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def header(fmt=1, ntrks=1, division=480, length=6, extra=b""):
    return b"MThd" + struct.pack(">IHHH", length, fmt, ntrks, division) + extra


def chunk(cid, data, length=None):
    return cid + struct.pack(">I", len(data) if length is None else length) + data


def meta(t, data, dt=0):
    return vlq(dt) + bytes([0xFF, t]) + vlq(len(data)) + data


def note(dt, ch, key, vel):
    return vlq(dt) + bytes([0x90 | ch, key, vel])


END = meta(0x2F, b"")
TEMPO = meta(0x51, b"\x07\xa1\x20")


def melody(ch=0, n=8, running=True):
    out = b""
    for i in range(n):
        key = 60 + (i * 5) % 12
        out += note(0, ch, key, 100)
        out += vlq(240) + (b"" if running else bytes([0x90 | ch])) + bytes([key, 0])
    return out


def rmid(midi, extra_before=b"", extra_after=b""):
    body = b"RMID" + extra_before
    body += b"data" + struct.pack("<I", len(midi)) + midi + (b"\x00" if len(midi) % 2 else b"")
    body += extra_after
    return b"RIFF" + struct.pack("<I", len(body)) + body


def seeds():
    s = {}
    piano = meta(0x03, b"Piano") + TEMPO + meta(0x58, b"\x04\x02\x18\x08") + melody() + END
    s["valid_format1"] = header(1, 2) + chunk(b"MTrk", TEMPO + END) + chunk(b"MTrk", piano)
    s["valid_format0"] = header(0, 1) + chunk(b"MTrk", piano)
    s["valid_format2"] = header(2, 2) + chunk(b"MTrk", piano) + chunk(b"MTrk", melody(1) + END)
    s["all_channel_messages"] = header(0, 1, 96) + chunk(b"MTrk", bytes([
        0x00, 0x80, 0x3C, 0x40, 0x00, 0x91, 0x3C, 0x40, 0x00, 0xA2, 0x3C, 0x10,
        0x00, 0xB3, 0x40, 0x7F, 0x00, 0xC4, 0x05, 0x00, 0xD5, 0x20, 0x00, 0xE6, 0x00, 0x40]) + END)
    s["sysex_escape"] = header(0, 1) + chunk(b"MTrk", bytes([0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09,
                                                           0x01, 0xF7, 0x00, 0xF7, 0x02, 0x43,
                                                           0x10]) + melody(2, 2) + END)
    s["all_meta_types"] = header(0, 1) + chunk(b"MTrk", b"".join(
        meta(t, d) for t, d in [(0x00, b"\x00\x01"), (0x01, b"text"), (0x02, b"(c)"),
                                (0x04, b"Sax"), (0x05, b"la"), (0x06, b"A"), (0x07, b"cue"),
                                (0x08, b"prog"), (0x09, b"dev"), (0x20, b"\x01"), (0x21, b"\x00"),
                                (0x54, b"\x60\x01\x02\x03\x04"), (0x59, b"\xfd\x01"),
                                (0x7F, b"\x00\x41"), (0x4B, b"x")]) + END)
    s["smpte_25"] = header(1, 1, 0xE728) + chunk(b"MTrk", piano)
    s["smpte_29"] = header(1, 1, 0xE350) + chunk(b"MTrk", piano)
    s["smpte_bad_rate"] = header(1, 1, 0x8000) + chunk(b"MTrk", piano)
    s["division_zero"] = header(1, 1, 0) + chunk(b"MTrk", piano)
    s["format_3"] = header(3, 1) + chunk(b"MTrk", piano)
    s["header_short"] = b"MThd" + struct.pack(">I", 4) + b"\x00\x01\x00\x01"
    s["header_long"] = header(1, 1, 480, 10, b"\xaa\xbb\xcc\xdd") + chunk(b"MTrk", piano)
    s["rmid"] = rmid(s["valid_format1"], extra_before=b"LIST" + struct.pack("<I", 3) + b"abc\x00")
    s["rmid_no_data"] = b"RIFF" + struct.pack("<I", 12) + b"RMID" + b"LIST" + struct.pack("<I", 0)
    s["rmid_wave"] = b"RIFF" + struct.pack("<I", 4) + b"WAVE"
    s["rmid_track_first"] = rmid(chunk(b"MTrk", END) + s["valid_format0"])
    s["unknown_chunks"] = (header(1, 3) + chunk(b"XFIH", b"\x01\x02\x03") +
                           chunk(b"MTrk", piano) + chunk(b"mtrk", END))
    s["second_header"] = (header(1, 2) + chunk(b"MTrk", piano) + header(1, 1, 96) +
                          chunk(b"MTrk", melody(3) + END))
    s["trailing_bytes"] = header(1, 1) + chunk(b"MTrk", piano) + b"\x00\x00\x00"
    s["truncated_track"] = header(1, 1) + chunk(b"MTrk", piano, length=len(piano) + 100)[:-10]
    s["long_deltas"] = header(0, 1) + chunk(b"MTrk", bytes([0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C,
                                                          0x40, 0x81, 0x80, 0x80, 0x80, 0x3C,
                                                          0x00]) + END)
    s["damage_data_byte"] = header(0, 1) + chunk(b"MTrk", melody(0, 2) + bytes([0x00, 0x90, 0x3C,
                                                                              0x9C]))
    s["damage_no_running_status"] = header(0, 1) + chunk(b"MTrk", bytes([0x00, 0x3C, 0x40]))
    s["damage_system_common"] = header(0, 1) + chunk(b"MTrk", melody(0, 1) + b"\x00\xf3\x01")
    s["damage_sysex_past_end"] = header(0, 1) + chunk(b"MTrk", b"\x00\xf0\x81\x48\x01\x02")
    s["damage_meta_past_end"] = header(0, 1) + chunk(b"MTrk", b"\x00\xff\x05\x81\x48" + b"x" * 12)
    s["damage_key_signature"] = header(0, 1) + chunk(b"MTrk", meta(0x59, b"\x00") + END)
    s["damage_smpte_offset"] = header(0, 1) + chunk(b"MTrk", meta(0x54, b"\x19\x00\x00\x00\x00"))
    s["short_tempo"] = header(0, 1) + chunk(b"MTrk", meta(0x51, b"\x07\xa1") + END)
    s["events_after_end"] = header(0, 1) + chunk(b"MTrk", END + melody(0, 2) + END + b"\x00\x00")
    s["end_without_length"] = header(0, 1) + chunk(b"MTrk", melody(0, 1) + b"\x00\xff\x2f")
    s["bends_and_pedal"] = header(0, 1) + chunk(b"MTrk", bytes([
        0x00, 0xB0, 0x40, 0x7F, 0x00, 0x90, 0x40, 0x64, 0x60, 0xE0, 0x00, 0x50, 0x60, 0x7F, 0x7F,
        0x00, 0x00, 0x40, 0x60, 0x90, 0x40, 0x00, 0x00, 0xB0, 0x40, 0x00]) + END)
    return s


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus", "smf_reader")
    os.makedirs(out_dir, exist_ok=True)
    for name, data in sorted(seeds().items()):
        with open(os.path.join(out_dir, name + ".mid"), "wb") as f:
            f.write(data)
    print(f"wrote {len(seeds())} seeds to {out_dir}")


if __name__ == "__main__":
    main()
