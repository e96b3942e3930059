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

# The pipeline and the floor on the 27 MB file: each tool's conversion
# followed by reading its output back (cat, as the next step of a pipeline
# does), and the floor: reading the input and writing the document's bytes
# through the page cache, with nothing computed.
large="$work/large-16x200000.mid"
[ -f "$large" ] || "$build/bench/gen_midi" "$large" --tracks 16 --notes 200000
"$build/tracksmith" "$large" "$work/reference.track" 2>/dev/null
: >"$work/p.t"; : >"$work/p.b"; : >"$work/p.m"; : >"$work/p.f"
for ((i = 0; i < runs; i++)); do
  read -r w _ < <(measure sh -c "\"$build/tracksmith\" \"$large\" \"$work/out.track\" 2>/dev/null && cat \"$work/out.track\"")
  echo "$w" >>"$work/p.t"
  if [ -n "$baseline" ]; then
    read -r w _ < <(measure sh -c "\"$baseline\" \"$large\" \"$work/out-baseline.track\" 2>/dev/null && cat \"$work/out-baseline.track\"")
    echo "$w" >>"$work/p.b"
  fi
  read -r w _ < <(measure sh -c "midicsv \"$large\" \"$work/out.csv\" && cat \"$work/out.csv\"")
  echo "$w" >>"$work/p.m"
  read -r w _ < <(measure sh -c "cat \"$large\" >/dev/null && cat \"$work/reference.track\" >\"$work/floor.track\" && cat \"$work/floor.track\"")
  echo "$w" >>"$work/p.f"
done
pt=$(median <"$work/p.t"); pm=$(median <"$work/p.m"); pf=$(median <"$work/p.f")
printf '\n%-30s %10s %14s\n' "convert + read back (27 MB)" wall_s ratio
printf '%-30s %10.3f %14s\n' tracksmith "$pt" -
[ -n "$baseline" ] && printf '%-30s %10.3f %14.3f\n' baseline "$(median <"$work/p.b")" \
  "$(echo "$pt/($(median <"$work/p.b")+0.000001)" | bc -l)"
printf '%-30s %10.3f %14.3f\n' midicsv "$pm" "$(echo "$pt/($pm+0.000001)" | bc -l)"
printf '%-30s %10.3f %14.3f\n' "floor (read, write, read back)" "$pf" "$(echo "$pt/($pf+0.000001)" | bc -l)"

# A library of small real files (the packages tests/realfiles uses), one
# process per file, serially and two at a time, against midicsv.
if (cd "$work" && timeout 120 apt-get download pianobooster planetblupi-music-midi >/dev/null 2>&1); then
  for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/real"; done
  find "$work/real" -iname '*.mid.gz' -exec gunzip -f {} +
  find "$work/real" -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' \) -print0 >"$work/list"
  count=$(tr -cd '\0' <"$work/list" | wc -c)
  batch() {  # tool, parallelism: wall seconds of converting every file
    local start end
    start=$(date +%s.%N)
    xargs -0 -P"$2" -I{} sh -c "$1 \"\$1\" \"\$1.\$\$.out\" >/dev/null 2>&1; rm -f \"\$1.\$\$.out\"" _ {} <"$work/list"
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
  }
  printf '\n%-30s %10s %10s %14s %14s\n' "small real files ($count)" serial_s P2_s serial_ratio P2_ratio
  for p in 1 2; do : >"$work/s$p.t"; : >"$work/s$p.m"; : >"$work/s$p.b"; done
  for ((i = 0; i < runs; i++)); do
    for p in 1 2; do
      batch "\"$build/tracksmith\"" "$p" >>"$work/s$p.t"
      [ -n "$baseline" ] && batch "\"$baseline\"" "$p" >>"$work/s$p.b"
      batch midicsv "$p" >>"$work/s$p.m"
    done
  done
  t1=$(median <"$work/s1.t"); t2=$(median <"$work/s2.t"); m1=$(median <"$work/s1.m"); m2=$(median <"$work/s2.m")
  printf '%-30s %10.3f %10.3f %14s %14s\n' tracksmith "$t1" "$t2" - -
  if [ -n "$baseline" ]; then
    b1=$(median <"$work/s1.b"); b2=$(median <"$work/s2.b")
    printf '%-30s %10.3f %10.3f %14.3f %14.3f\n' baseline "$b1" "$b2" "$(echo "$t1/$b1" | bc -l)" "$(echo "$t2/$b2" | bc -l)"
  fi
  printf '%-30s %10.3f %10.3f %14.3f %14.3f\n' midicsv "$m1" "$m2" "$(echo "$t1/$m1" | bc -l)" "$(echo "$t2/$m2" | bc -l)"
else
  echo "small real files: package registry not reachable; skipped"
fi
