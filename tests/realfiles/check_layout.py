#!/usr/bin/env python3
"""Structural check of a converted .track document.

Checks the leading line, the blank-line rule (one blank line between blocks,
none doubled, none at the start or end), section headings in their fixed
order, entry headings, and the shape of song, layer and motif lines.
Exit status 0 when the document passes; otherwise one line per problem.
With --notes, a passing document also prints the number of notes it plays:
its layers' note lines plus, for each motif placement, the motif's notes.
"""
import re
import sys

ORDER = ["Songs", "Layers", "Sounds", "Tunings", "Waves", "Subtitles", "Motifs", "Snapshots", "Reverb"]
NUM = r"(?:-?\d+(?:\.\d+)?|NaN|-?inf)"
EASE = r"(?: linear| ease-in| ease-out)?"
POINT = NUM + " " + NUM + EASE
CURVE = POINT + "(?:, " + POINT + ")*"
OPTIONS = (r'(?: "[^"]*")?'
           r"(?: glide " + NUM + EASE + ")?"
           r"(?: volume " + NUM + ")?"
           r"(?: vol-ramp " + NUM + EASE + ")?"
           r"(?: arpeggio " + NUM + "(?: " + NUM + ")* rate " + NUM + ")?"
           r"(?: repeat \d+)?")
LAYER_NOTE = re.compile(r"^[a-z_0-9]+ " + NUM + " " + NUM + " " + NUM + OPTIONS + "$")
MOTIF_NOTE = re.compile(r"^" + NUM + " " + NUM + " " + NUM + OPTIONS + "$")
CONTINUATION = re.compile(r"^  (?:pitch|volume) " + CURVE + r"(?: repeat \d+)?$")
PLACEMENT = re.compile(r"^motif midi_track\d+_motif\d+ " + NUM + " [a-z_0-9]*(?: transpose " + NUM + ")?$")
SONG_LINE = re.compile(r"^@(?:tempo " + NUM + "(?: " + NUM + ")?|layer .+)$")


def check(text):
    problems = []
    if not text.endswith("\n") or text.endswith("\n\n"):
        problems.append("document must end with exactly one line break")
    lines = text.split("\n")[:-1]
    if not lines or lines[0] != "@import std:instruments":
        problems.append("first line is not the import line")
        return problems
    if len(lines) < 2 or lines[1] != "":
        problems.append("no blank line after the import line")
    section = None
    seen = []
    entry = None
    for i, line in enumerate(lines[1:], start=2):
        prev = lines[i - 2]
        if line == "":
            if prev == "":
                problems.append(f"line {i}: two blank lines in a row")
            continue
        if line.startswith("# "):
            name = line[2:]
            if name not in ORDER:
                problems.append(f"line {i}: unknown section {name!r}")
            elif seen and ORDER.index(name) <= ORDER.index(seen[-1]):
                problems.append(f"line {i}: section {name} out of order")
            if prev != "":
                problems.append(f"line {i}: no blank line before the section heading")
            seen.append(name)
            section, entry = name, None
            continue
        if line.startswith("## "):
            if prev != "":
                problems.append(f"line {i}: no blank line before the entry heading")
            if section is None:
                problems.append(f"line {i}: entry outside a section")
            entry = line[3:]
            if not entry.strip():
                problems.append(f"line {i}: empty entry name")
            continue
        if entry is None:
            problems.append(f"line {i}: body line outside an entry: {line!r}")
            continue
        if prev == "" :
            problems.append(f"line {i}: blank line inside an entry body")
        if section == "Songs":
            ok = SONG_LINE.match(line)
        elif section == "Layers":
            ok = LAYER_NOTE.match(line) or CONTINUATION.match(line) or PLACEMENT.match(line)
        elif section == "Motifs":
            ok = MOTIF_NOTE.match(line) or CONTINUATION.match(line)
        else:
            ok = False
        if not ok:
            problems.append(f"line {i}: unexpected {section} line: {line!r}")
    if seen[:1] != ["Songs"]:
        problems.append("the document does not start with the Songs section")
    if "Layers" not in seen:
        problems.append("no Layers section")
    return problems


def count_notes(text):
    section = entry = None
    layer_notes = 0
    motif_notes = {}
    placed = []
    for line in text.split("\n"):
        if line.startswith("# "):
            section, entry = line[2:], None
        elif line.startswith("## "):
            entry = line[3:]
        elif section == "Layers" and PLACEMENT.match(line):
            placed.append(line.split(" ")[1])
        elif section == "Layers" and LAYER_NOTE.match(line):
            layer_notes += 1
        elif section == "Motifs" and MOTIF_NOTE.match(line):
            motif_notes[entry] = motif_notes.get(entry, 0) + 1
    return layer_notes + sum(motif_notes.get(name, 0) for name in placed)


def main():
    args = sys.argv[1:]
    notes = args[:1] == ["--notes"]
    with open(args[-1], encoding="utf-8") as f:
        text = f.read()
    problems = check(text)
    for p in problems[:20]:
        print(p)
    if not problems and notes:
        print(count_notes(text))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
