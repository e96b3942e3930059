#!/usr/bin/env bash
# Whole-process comparison of tracksmith with two peer MIDI converters
# (midicsv, and midi2abc from abcmidi), measured side by side in one run.
# Runs are alternated, RUNS of each (default 5); medians are printed, each
# with its ratio tracksmith / other. It reports:
#   1. generated files (the 27 MB file, 16 x 200,000 notes, first): wall
#      time, CPU time (user + system) and peak resident memory;
#   2. the 27 MB file against the floor: reading the input and writing the
#      document's bytes through the page cache, nothing computed (once over
#      the old document, once into a temporary renamed over it, which is
#      how the tool replaces an output); then each
#      conversion followed by reading its output back (cat), as the next
#      step of a pipeline does;
#   3. a library of small real files (the packages tests/realfiles uses),
#      one process per file over existing outputs, serially and two at a
#      time (xargs -P2);
#   4. the crafted files of bench/crafted.sh (CPU seconds per MiB against
#      the 27 MB file's; CRAFTED_RUNS, default 3).
#
#   bash bench/compare.sh [build-dir]      (default build dir: build/bench)
#
# BASELINE=<path to another tracksmith binary> adds that binary to the same
# alternating runs, so that a change is measured against what it replaces in
# one run; CASES=large keeps only the 27 MB file among the generated ones;
# CRAFTED=0 leaves the crafted files out.
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
tracksmith="$(realpath "$build/tracksmith")"
baseline="${BASELINE:+$(realpath "$BASELINE")}"

# name | generator arguments
cases=(
  "large-16x200000|--tracks 16 --notes 200000"
  "figures-64x1500|--tracks 64 --notes 1500 --repeat-share 0.9"
  "random-32x1500|--tracks 32 --notes 1500 --repeat-share 0"
)
[ "${CASES:-all}" = large ] && cases=("${cases[0]}")

# Prints "wall_seconds cpu_seconds peak_kib" for one run of a command.
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
    echo "command failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
  awk '{printf "%s %.3f %s\n", $1, $2 + $3, $4}' "$work/time"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b <= 0) print "-"; else printf "%.3f", a / b}'; }
# Appends one measured run of `name` to its files of walls, CPU and peaks.
record() {
  local name="$1" w c m
  shift
  read -r w c m < <(measure "$@")
  echo "$w" >>"$work/$name.wall"; echo "$c" >>"$work/$name.cpu"; echo "$m" >>"$work/$name.mem"
}
medians() { echo "$(median <"$work/$1.wall") $(median <"$work/$1.cpu") $(median <"$work/$1.mem")"; }

# 1. Generated files.
printf '%-18s %-11s %8s %8s %9s %11s %10s %10s\n' file tool wall_s cpu_s peak_MiB wall_ratio cpu_ratio mem_ratio
tools=(tracksmith)
[ -n "$baseline" ] && tools+=(baseline)
tools+=(midicsv midi2abc)
for entry in "${cases[@]}"; do
  name="${entry%%|*}"
  args="${entry#*|}"
  file="$work/$name.mid"
  # shellcheck disable=SC2086
  "$build/bench/gen_midi" "$file" $args 2>/dev/null
  for tool in "${tools[@]}"; do : >"$work/$tool.wall"; : >"$work/$tool.cpu"; : >"$work/$tool.mem"; done
  for ((i = 0; i < runs; i++)); do
    record tracksmith "$tracksmith" "$file" "$work/out.track"
    [ -n "$baseline" ] && record baseline "$baseline" "$file" "$work/out-baseline.track"
    record midicsv midicsv "$file" "$work/out.csv"
    record midi2abc midi2abc -f "$file" -o "$work/out.abc"
  done
  read -r tw tc tm < <(medians tracksmith)
  [ "$name" = large-16x200000 ] && large_wall=$tw
  for tool in "${tools[@]}"; do
    read -r w c m < <(medians "$tool")
    if [ "$tool" = tracksmith ]; then
      printf '%-18s %-11s %8.3f %8.3f %9.1f %11s %10s %10s\n' "$name" "$tool" "$w" "$c" "$(echo "$m/1024" | bc -l)" - - -
    else
      printf '%-18s %-11s %8.3f %8.3f %9.1f %11s %10s %10s\n' "$name" "$tool" "$w" "$c" "$(echo "$m/1024" | bc -l)" \
        "$(ratio "$tw" "$w")" "$(ratio "$tc" "$c")" "$(ratio "$tm" "$m")"
    fi
  done
done

# 2. The 27 MB file against the floor, and each conversion with its output
# read back.
large="$work/large-16x200000.mid"
[ -f "$large" ] || "$build/bench/gen_midi" "$large" --tracks 16 --notes 200000 2>/dev/null
"$tracksmith" "$large" "$work/reference.track" 2>/dev/null
floor="cat '$large' >/dev/null && cat '$work/reference.track' >'$work/floor.track'"
# The same, but replacing the old document as the tool does: a temporary
# beside it, renamed over it. On ext4 the rename over an existing file
# starts the new file's writeback and frees the old one's blocks.
replacing="cat '$large' >/dev/null && cat '$work/reference.track' >'$work/floor.track.new' && mv '$work/floor.track.new' '$work/floor.track'"
pipeline=(tracksmith)
[ -n "$baseline" ] && pipeline+=(baseline)
pipeline+=(midicsv floor)
for tool in "${pipeline[@]}" floor-alone replacing-alone; do : >"$work/p-$tool.wall"; : >"$work/p-$tool.cpu"; : >"$work/p-$tool.mem"; done
for ((i = 0; i < runs; i++)); do
  record p-floor-alone sh -c "$floor"
  record p-replacing-alone sh -c "$replacing"
  record p-tracksmith sh -c "'$tracksmith' '$large' '$work/out.track' 2>/dev/null && cat '$work/out.track'"
  [ -n "$baseline" ] && record p-baseline sh -c "'$baseline' '$large' '$work/out-baseline.track' 2>/dev/null && cat '$work/out-baseline.track'"
  record p-midicsv sh -c "midicsv '$large' '$work/out.csv' && cat '$work/out.csv'"
  record p-floor sh -c "$floor && cat '$work/floor.track'"
done
read -r fw _ _ < <(medians p-floor-alone)
read -r rw _ _ < <(medians p-replacing-alone)
printf '\n%-34s %10s %14s\n' "the 27 MB file" wall_s ratio
printf '%-34s %10.3f %14s\n' "floor (read input, write document)" "$fw" -
printf '%-34s %10.3f %14s\n' "floor, replacing by rename" "$rw" -
printf '%-34s %10.3f %14s\n' "tracksmith (part 1) / floor" "$large_wall" "$(ratio "$large_wall" "$fw")"
printf '%-34s %10.3f %14s\n' "tracksmith (part 1) / replacing" "$large_wall" "$(ratio "$large_wall" "$rw")"
printf '\n%-34s %10s %14s\n' "convert + read back" wall_s ratio
read -r pt _ _ < <(medians p-tracksmith)
for tool in "${pipeline[@]}"; do
  read -r w _ _ < <(medians "p-$tool")
  if [ "$tool" = tracksmith ]; then
    printf '%-34s %10.3f %14s\n' "$tool" "$w" -
  else
    printf '%-34s %10.3f %14s\n' "$tool" "$w" "$(ratio "$pt" "$w")"
  fi
done

# 3. A library of small real files, one process per file over existing
# outputs, serially and two at a time.
packages=$(sed -n 's/^packages="\(.*\)"$/\1/p' tests/realfiles/run.sh)
if (cd "$work" && timeout 120 apt-get download $packages >/dev/null 2>&1); then
  for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/real"; done
  find "$work/real" -iname '*.mid.gz' -exec gunzip -f {} +
  small=(tracksmith)
  [ -n "$baseline" ] && small+=(baseline)
  small+=(midicsv)
  # Each tool has outputs of its own, which each of its runs replaces: with
  # one set for all, the first tool of a round replaced the other tools'
  # files (midicsv's are larger) and paid for freeing them. The 23 files
  # converted by tracksmith over its own documents took 0.161 s, over
  # midicsv's outputs 0.178 s (medians of 9 alternating rounds).
  files=$(find "$work/real" -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' \) | sort)
  for tool in "${small[@]}"; do
    mkdir -p "$work/outputs-$tool"
    awk -v dir="$work/outputs-$tool" '{print $0; print dir "/" NR ".out"}' <<<"$files" | tr '\n' '\0' >"$work/pairs-$tool"
  done
  count=$(($(tr -cd '\0' <"$work/pairs-tracksmith" | wc -c) / 2))
  batch() {  # tool, parallelism: wall seconds of converting every file
    local start end
    start=$(date +%s.%N)
    xargs -0 -n2 -P"$3" "$2" <"$work/pairs-$1" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
  }
  binary() { case "$1" in tracksmith) echo "$tracksmith" ;; baseline) echo "$baseline" ;; *) echo "$1" ;; esac; }
  for tool in "${small[@]}"; do batch "$tool" "$(binary "$tool")" 1 >/dev/null; : >"$work/s1-$tool"; : >"$work/s2-$tool"; done
  for ((i = 0; i < runs; i++)); do
    for p in 1 2; do
      for tool in "${small[@]}"; do batch "$tool" "$(binary "$tool")" "$p" >>"$work/s$p-$tool"; done
    done
  done
  t1=$(median <"$work/s1-tracksmith"); t2=$(median <"$work/s2-tracksmith")
  printf '\n%-34s %10s %10s %14s %14s\n' "small real files ($count)" serial_s P2_s serial_ratio P2_ratio
  for tool in "${small[@]}"; do
    a=$(median <"$work/s1-$tool"); b=$(median <"$work/s2-$tool")
    if [ "$tool" = tracksmith ]; then
      printf '%-34s %10.3f %10.3f %14s %14s\n' "$tool" "$a" "$b" - -
    else
      printf '%-34s %10.3f %10.3f %14s %14s\n' "$tool" "$a" "$b" "$(ratio "$t1" "$a")" "$(ratio "$t2" "$b")"
    fi
  done
else
  echo "small real files: package registry not reachable; skipped"
fi

# 4. The crafted files.
if [ "${CRAFTED:-1}" != 0 ]; then
  echo
  RUNS="${CRAFTED_RUNS:-3}" TRACKSMITH="$tracksmith" bash bench/crafted.sh "$build"
fi
