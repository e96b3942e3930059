#!/usr/bin/env bash
# Converts every MIDI file of three Debian packages of real-world music with the
# given tracksmith binary: each must convert with status 0, twice to the same
# bytes, into a document whose layout passes check_layout.py. It then prints
# the notes the documents play and, per kind of warning, how many files got
# it. The packages are downloaded and unpacked, never installed. Without the
# registry it skips.
set -uo pipefail
tool="$(realpath "${1:?usage: run.sh path/to/tracksmith}")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

packages="pianobooster planetblupi-music-midi openttd-openmsx"
if ! timeout 300 apt-get download $packages >/dev/null 2>&1; then
  timeout 300 apt-get update >/dev/null 2>&1 || true
  if ! timeout 300 apt-get download $packages >/dev/null 2>&1; then
    echo "real files: package registry not reachable; skipped"
    exit 0
  fi
fi
for deb in *.deb; do dpkg-deb -x "$deb" unpacked; done
find unpacked -iname '*.mid.gz' -exec gunzip -f {} +

mapfile -d '' files < <(find unpacked -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' \) -print0 | sort -z)
if [ "${#files[@]}" -eq 0 ]; then
  echo "real files: no MIDI files found in the packages"
  exit 1
fi

failed=0
notes=0
: >"$work/warnings"
for f in "${files[@]}"; do
  name="${f#unpacked/}"
  if ! "$tool" "$f" "$work/a.track" 2>"$work/err" || ! "$tool" "$f" "$work/b.track" 2>>"$work/err"; then
    echo "FAIL convert: $name: $(cat "$work/err")"
    failed=$((failed + 1))
    continue
  fi
  if ! cmp -s "$work/a.track" "$work/b.track"; then
    echo "FAIL two runs differ: $name"
    failed=$((failed + 1))
    continue
  fi
  if ! python3 "$here/check_layout.py" --notes "$work/a.track" >"$work/check" 2>&1; then
    echo "FAIL layout: $name: $(head -n 3 "$work/check")"
    failed=$((failed + 1))
    continue
  fi
  notes=$((notes + $(cat "$work/check")))
  # Each kind of warning once per file: its text without track numbers and counts.
  sed -n 's/^Warning: //p' "$work/err" |
    sed -E 's/^track [0-9]+: //; s/[0-9]+ (note|event)s?/N \1s/; s/ in tracks? [0-9, ]+$//;
            s/^[0-9]+ tempo/N tempo/; s#[0-9]+/[0-9]+#N/N#;
            s/^.* at byte [0-9]+; (the rest of the track is ignored)$/damaged: \1/' |
    sort -u >>"$work/warnings"
done
echo "real files: ${#files[@]} converted, $failed failed, $notes notes in the documents"
echo "files per kind of warning:"
sort "$work/warnings" | uniq -c | sort -rn
[ "$failed" -eq 0 ]
