#!/usr/bin/env bash
# Fills fuzz/corpus/convert: the reader's seeds, the bundled example, and a
# few small generated songs with repeated figures, bends and the pedal.
#   bash fuzz/make_convert_seeds.sh path/to/gen_midi
set -euo pipefail
gen="$(realpath "${1:?usage: make_convert_seeds.sh path/to/gen_midi}")"
cd "$(dirname "$0")"
mkdir -p corpus/convert
cp corpus/smf_reader/*.mid corpus/convert/
cp ../examples/example.mid corpus/convert/
"$gen" corpus/convert/figures.mid --tracks 2 --notes 40 --repeat-share 0.8 --seed 1 >/dev/null
"$gen" corpus/convert/bends_pedal.mid --tracks 2 --notes 24 --bends --sustain --seed 2 >/dev/null
"$gen" corpus/convert/random.mid --tracks 3 --notes 16 --repeat-share 0 --seed 3 >/dev/null
