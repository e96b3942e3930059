#!/usr/bin/env bash
# Whole-process comparison of tracksmith with two peer MIDI converters
# (midicsv, and midi2abc from abcmidi) on the same generated files. Runs are
# alternated, RUNS of each (default 5), and the medians of wall time and peak
# resident memory are printed with the ratio tracksmith / peer.
#
#   bash bench/compare.sh [build-dir]      (default build dir: build/bench)
#
# BASELINE=<path to another tracksmith binary> adds that binary to the same
# alternating runs (and CASES=large only the 27 MB file), so that a change
# is measured against what it replaces in one run.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/bench}"
runs="${RUNS:-5}"

if [ ! -x "$build/tracksmith" ] || [ ! -x "$build/bench/gen_midi" ]; then
  cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
fi
for tool in midicsv midi2abc; do
  if ! command -v "$tool" >/dev/null; then
    pkg=$([ "$tool" = midicsv ] && echo midicsv || echo abcmidi)
    echo "installing $pkg"
    apt-get install -y "$pkg" >/dev/null 2>&1 || { apt-get update >/dev/null 2>&1 && apt-get install -y "$pkg" >/dev/null 2>&1; }
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# name | generator arguments
cases=(
  "large-16x200000|--tracks 16 --notes 200000"
  "figures-64x1500|--tracks 64 --notes 1500 --repeat-share 0.9"
  "random-32x1500|--tracks 32 --notes 1500 --repeat-share 0"
)
[ "${CASES:-all}" = large ] && cases=("${cases[0]}")
baseline="${BASELINE:-}"

# Prints "wall_seconds peak_kib" for one run of a command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
    echo "command failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
  cat "$work/time"
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

printf '%-18s %-10s %12s %12s %14s %14s\n' file tool wall_s peak_MiB wall_ratio mem_ratio
for entry in "${cases[@]}"; do
  name="${entry%%|*}"
  args="${entry#*|}"
  file="$work/$name.mid"
  # shellcheck disable=SC2086
  "$build/bench/gen_midi" "$file" $args
  : >"$work/t.wall"; : >"$work/t.mem"; : >"$work/b.wall"; : >"$work/b.mem"
  for peer in midicsv midi2abc; do : >"$work/$peer.wall"; : >"$work/$peer.mem"; done
  for ((i = 0; i < runs; i++)); do
    read -r w m < <(measure "$build/tracksmith" "$file" "$work/out.track")
    echo "$w" >>"$work/t.wall"; echo "$m" >>"$work/t.mem"
    if [ -n "$baseline" ]; then
      read -r w m < <(measure "$baseline" "$file" "$work/out-baseline.track")
      echo "$w" >>"$work/b.wall"; echo "$m" >>"$work/b.mem"
    fi
    read -r w m < <(measure midicsv "$file" "$work/out.csv")
    echo "$w" >>"$work/midicsv.wall"; echo "$m" >>"$work/midicsv.mem"
    read -r w m < <(measure midi2abc -f "$file" -o "$work/out.abc")
    echo "$w" >>"$work/midi2abc.wall"; echo "$m" >>"$work/midi2abc.mem"
  done
  tw=$(median <"$work/t.wall"); tm=$(median <"$work/t.mem")
  printf '%-18s %-10s %12.3f %12.1f %14s %14s\n' "$name" tracksmith "$tw" "$(echo "$tm/1024" | bc -l)" - -
  if [ -n "$baseline" ]; then
    bw=$(median <"$work/b.wall"); bm=$(median <"$work/b.mem")
    printf '%-18s %-10s %12.3f %12.1f %14.3f %14.3f\n' "$name" baseline "$bw" "$(echo "$bm/1024" | bc -l)" \
      "$(echo "$tw/($bw+0.000001)" | bc -l)" "$(echo "$tm/$bm" | bc -l)"
  fi
  for peer in midicsv midi2abc; do
    pw=$(median <"$work/$peer.wall"); pm=$(median <"$work/$peer.mem")
    printf '%-18s %-10s %12.3f %12.1f %14.3f %14.3f\n' "$name" "$peer" "$pw" "$(echo "$pm/1024" | bc -l)" \
      "$(echo "$tw/($pw+0.000001)" | bc -l)" "$(echo "$tm/$pm" | bc -l)"
    if [ -n "$baseline" ]; then
      printf '%-18s %-10s %12s %12s %14.3f %14.3f   (baseline / %s)\n' "$name" "" "" "" \
        "$(echo "$bw/($pw+0.000001)" | bc -l)" "$(echo "$bm/$pm" | bc -l)" "$peer"
    fi
  done
done
