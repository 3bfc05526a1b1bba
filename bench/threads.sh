#!/usr/bin/env bash
# Times the default number of threads (threads=0) against one thread
# (threads=1) on training workloads, on a quiet machine and beside other
# work, in paired runs, and checks that both write the same bytes.
#
# usage: bench/threads.sh [REV]
#   PAIRS=N          pairs of runs per binary, workload and condition
#                    (default 7; five times as many for default-5k, whose
#                    run takes a twentieth of a second)
#   WORKLOADS="..."  the workloads (default: text-20k text-manual
#                    default-5k; any training workload of run.sh)
#   CONDITIONS="..." the conditions, each the number of other processes
#                    kept busy (each a shell loop) while its runs go
#                    (default: "0 1")
#   BUILD_DIR, ISA, KEEP as for run.sh
#
# A pair is a run with threads=0 and one with threads=1, one right after
# the other, which one first alternating from pair to pair; with REV, the
# old binary's pair and the new one's alternate too. Each run has a fresh
# folder. Prints, per workload, condition and binary, the median wall time
# of each setting and the median (with the least and the largest) of the
# pairs' ratios, threads=0 over threads=1: below 1 the default is faster.
# Every run's outputs must equal the first run's, the echo of the threads
# setting left out; exit status 1 otherwise.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

root=$(cd "$bench_dir/.." && pwd)
build=$(bench_build_dir "$root")
pairs=${PAIRS:-7}
workloads=${WORKLOADS:-text-20k text-manual default-5k}
conditions=${CONDITIONS:-0 1}
rev=${1:-}

if [ $# -gt 1 ] || ! [[ $pairs =~ ^[1-9][0-9]*$ ]] || ! [[ $conditions =~ ^[0-9\ ]+$ ]]; then
  echo "usage: [PAIRS=N] [WORKLOADS=\"...\"] [CONDITIONS=\"0 1\"] bench/threads.sh [REV]" >&2
  exit 2
fi
for w in $workloads; do
  if ! bench_workload "$w" || [ "$props" = map ]; then
    echo "not a training workload: $w" >&2
    exit 2
  fi
done

bench_binaries "$root" "$build" "$rev"
sides=(new)
[ -n "$old" ] && sides=(old new)

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-threads.XXXXXX")
keep=${KEEP:-}
# (Expanded when the trap runs: keep may be set on the way.)
# shellcheck disable=SC2016
trap 'bench_cleanup "$work" "$keep"' EXIT

# The runs of threads=0 and threads=1 differ in the echo of that setting.
bench_ignored_lines='^threads = [0-9]+$'

# median FILE: the median of the numbers in FILE, one a line.
median() {
  sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

rows=()
failed=0
for w in $workloads; do
  bench_workload "$w"
  # shellcheck disable=SC2086 # the generator arguments are meant to split
  dataset=$(bench_dataset "$generator" "$build/bench-data" $data)
  count=$pairs
  [ "$w" = default-5k ] && count=$((pairs * 5))
  for busy in $conditions; do
    dir=$work/$w-$busy
    echo "workload $w, $busy busy: $count pair(s) per binary ..." >&2
    bench_busy_start "$busy"
    for ((k = 1; k <= count; k++)); do
      order=(0 1)
      [ $((k % 2)) -eq 0 ] && order=(1 0)
      for side in "${sides[@]}"; do
        binary=$new
        [ "$side" = old ] && binary=$old
        for t in "${order[@]}"; do
          run=$dir/$side-t$t-$k
          bench_prepare "$run" "$dataset/data.vec" "$dataset/data.tv" data "$props"$'\n'"threads=$t"
          bench_run "$binary" "$run"
          if [ "$(cat "$run/status")" != 0 ]; then
            echo "$w: the $side binary failed with threads=$t (exit status $(cat "$run/status"))"
            failed=1
          fi
        done
      done
    done
    bench_busy_stop

    reference=$dir/${sides[0]}-t1-1
    for run in "$dir"/*-t*-*; do
      [ "$run" = "$reference" ] && continue
      if ! bench_compare "$w" "${sides[0]} threads=1 run 1" "$reference" "$(basename "$run")" "$run"; then
        echo "$w, $busy busy: OUTPUTS DIFFER (run folders kept in $work)"
        failed=1
        keep=1
      fi
    done
    for side in "${sides[@]}"; do
      for ((k = 1; k <= count; k++)); do
        cat "$dir/$side-t0-$k/wall_ns" >>"$dir/$side-t0.ns"
        cat "$dir/$side-t1-$k/wall_ns" >>"$dir/$side-t1.ns"
        awk -v a="$(cat "$dir/$side-t0-$k/wall_ns")" -v b="$(cat "$dir/$side-t1-$k/wall_ns")" \
          'BEGIN { print a / b }' >>"$dir/$side-ratio"
      done
      rows+=("$(awk -v w="$w" -v busy="$busy" -v side="$side" -v n="$count" -v t0="$(median "$dir/$side-t0.ns")" \
        -v t1="$(median "$dir/$side-t1.ns")" -v r="$(median "$dir/$side-ratio")" \
        -v lo="$(sort -g "$dir/$side-ratio" | head -n 1)" -v hi="$(sort -g "$dir/$side-ratio" | tail -n 1)" \
        'BEGIN { printf "%-12s %4d %-4s %5d %9.3f %9.3f %8.3f %6.2f-%.2f", w, busy, side, n, t0 / 1e9, t1 / 1e9, r, lo, hi }')")
    done
    [ -z "$keep" ] && rm -rf "$dir"
  done
done

echo
echo "median wall time of the runs with threads=0 and threads=1, and the median of the pairs' ratios (0/1)${old:+; old = $rev, new = current tree}"
printf '%-12s %4s %-4s %5s %9s %9s %8s %11s\n' workload busy tree pairs "thr=0 s" "thr=1 s" "0/1" "0/1 range"
printf '%s\n' "${rows[@]}"
if [ "$failed" -ne 0 ]; then
  echo "FAILED: see the lines above"
  exit 1
fi
echo "all outputs identical"
