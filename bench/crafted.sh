#!/usr/bin/env bash
# CPU cost of tracksmith per MiB of input and per MiB of output on crafted
# files (bench/gen_crafted.cpp), beside an ordinary large generated file.
# Each file is converted RUNS times (default 3), every run under a 300 s
# timeout; a row gives the medians of user+system CPU seconds and of peak
# resident memory, the seconds per MiB of input and of output, and both
# per-MiB figures as a ratio to the ordinary file's. A run that fails or
# times out ends that file's runs, is named in the status column and its
# message is printed under the table. Last, the sysex-heavy file at 60 MB is
# converted under a 1 GiB address-space limit.
#
# What each crafted kind stresses:
#   bends-zero-length  the bend look-up of notes with an empty tick range:
#                      zero-length notes after a long run of bends on their
#                      channel, none of which may cost a pass over the bends.
#   wrap-notes         bend ticks out of order: the tick sum wraps past 2^32,
#                      so later bends sort before earlier ones and a binary
#                      search over the list no longer holds.
#   held-under-bends   the writers and the memory of the whole document: all
#                      128 keys held under thousands of bends, every note
#                      carrying every bend, the output some 1000 times the
#                      input (at the default size about 2.2 GiB written and
#                      5 GiB of peak memory).
#   tiny-tracks        per-track costs: 65,535 tracks (all a header can
#                      count) of one note each.
#   motif-8            motif extraction on many tracks of a single figure's
#                      worth of nearly equal notes.
#   motif-1500         motif extraction on long tracks of one figure repeated
#                      with rare small changes: many overlapping candidates.
#   sysex-heavy        memory sized from a chunk's bytes rather than its
#                      notes: tracks that are nearly all system exclusive
#                      data; at 60 MB it must still convert in 1 GiB.
#
#   bash bench/crafted.sh [build-dir]      (default build dir: build/bench)
#   BYTES=N sets the size of the crafted files (default 2000000);
#   TRACKSMITH=path measures another tracksmith binary (default: the build's).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/bench}"
runs="${RUNS:-3}"
bytes="${BYTES:-2000000}"
tool="${TRACKSMITH:-$build/tracksmith}"
limit=300

if [ ! -x "$build/tracksmith" ] || [ ! -x "$build/bench/gen_midi" ] || [ ! -x "$build/bench/gen_crafted" ]; then
  cmake --preset bench >/dev/null && cmake --build --preset bench -j 2 >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

kinds=(bends-zero-length wrap-notes held-under-bends tiny-tracks motif-8 motif-1500 sysex-heavy)

# One conversion; prints "cpu_seconds peak_kib exit_status" and leaves the
# tool's messages in $work/stderr. The CPU time is that of all children of
# the `time` keyword, to the millisecond (GNU time only gives hundredths).
convert() {
  local TIMEFORMAT='%3U %3S' status=0
  { time /usr/bin/time -f '%M' -o "$work/rss" timeout "$limit" "$tool" "$1" "$2" \
      2>"$work/stderr"; } 2>"$work/clock" || status=$?
  echo "$(awk '{print $1 + $2}' "$work/clock") $(tail -n 1 "$work/rss") $status"
}

describe() {
  case "$1" in
    0) echo ok ;;
    124) echo "timeout ${limit}s" ;;
    *) if [ "$1" -gt 128 ]; then echo "signal $(($1 - 128))"; else echo "exit $1"; fi ;;
  esac
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
mib() { awk -v b="$1" 'BEGIN {if (b == "-") print "-"; else printf "%.3f", b / 1048576}'; }
# Seconds per MiB of `bytes`, or "-" when there is no output.
per_mib() { awk -v s="$1" -v b="$2" 'BEGIN {if (b == "-" || b == 0) print "-"; else printf "%.4f", s * 1048576 / b}'; }
# a / b, or "-" when either is missing or b is zero.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b}'; }

base_in="-"; base_out="-"; failures=()
row() {
  local name="$1" file="$2" out="$work/out.track" status=0 cpu kib code
  : >"$work/cpu"; : >"$work/mem"; rm -f "$out"
  for ((i = 0; i < runs; i++)); do
    read -r cpu kib code < <(convert "$file" "$out")
    echo "$cpu" >>"$work/cpu"; echo "$kib" >>"$work/mem"
    if [ "$code" != 0 ]; then
      status=$code
      failures+=("$name: $(describe "$code"): $(tail -n 1 "$work/stderr")")
      break
    fi
  done
  local in_bytes out_bytes="-" cpu_s mem per_in per_out
  in_bytes=$(stat -c %s "$file")
  if [ "$status" = 0 ]; then out_bytes=$(stat -c %s "$out"); fi
  cpu_s=$(median <"$work/cpu"); mem=$(median <"$work/mem")
  per_in=$(per_mib "$cpu_s" "$in_bytes"); per_out=$(per_mib "$cpu_s" "$out_bytes")
  if [ "$base_in" = "-" ] && [ "$status" = 0 ]; then base_in=$per_in; base_out=$per_out; fi
  printf '%-20s %9s %10s %9.3f %10s %10s %9.1f %9s %9s  %s\n' "$name" "$(mib "$in_bytes")" \
    "$(mib "$out_bytes")" "$cpu_s" "$per_in" "$per_out" \
    "$(awk -v k="$mem" 'BEGIN {print k / 1024}')" "$(ratio "$per_in" "$base_in")" \
    "$(ratio "$per_out" "$base_out")" "$(describe "$status")"
  rm -f "$out"
}

"$build/bench/gen_midi" "$work/ordinary.mid" --tracks 16 --notes 200000 2>/dev/null
for kind in "${kinds[@]}"; do
  "$build/bench/gen_crafted" "$kind" "$work/$kind.mid" --bytes "$bytes" 2>/dev/null
done

echo "median of $runs runs; CPU is user+system; ratios are to the ordinary file"
printf '%-20s %9s %10s %9s %10s %10s %9s %9s %9s  %s\n' file in_MiB out_MiB cpu_s s/MiB_in s/MiB_out \
  peak_MiB in_ratio out_ratio status
row ordinary-16x200000 "$work/ordinary.mid"
for kind in "${kinds[@]}"; do row "$kind" "$work/$kind.mid"; done
for failure in ${failures[@]+"${failures[@]}"}; do echo "failed: $failure"; done

echo
"$build/bench/gen_crafted" sysex-heavy "$work/sysex-60MB.mid" --bytes 60000000 2>/dev/null
read -r cpu kib code < <(ulimit -v 1048576; convert "$work/sysex-60MB.mid" "$work/out.track")
verdict=$([ "$code" = 0 ] && echo converted || echo "did not convert")
printf 'sysex-heavy %s MiB under ulimit -v 1048576: %s (%s; %.3f s CPU, peak %.1f MiB)\n' \
  "$(mib "$(stat -c %s "$work/sysex-60MB.mid")")" "$verdict" "$(describe "$code")" "$cpu" \
  "$(awk -v k="$kib" 'BEGIN {print k / 1024}')"
echo "  stderr: $(tail -n 1 "$work/stderr")"
