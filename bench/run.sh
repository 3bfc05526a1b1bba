#!/usr/bin/env bash
# Times the trainer on a fixed set of workloads and proves its outputs
# unchanged against an older revision; times the map command (velmar --map)
# against the trainer's reading of the same file.
#
# usage: bench/run.sh [REV]
#   REPEAT=N        runs per binary and workload (default 3)
#   WORKLOADS="..." the workloads to run (default: all, in the order below)
#   BUILD_DIR=DIR   build folder of the current tree (default build-bench/);
#                   generated data sets and old builds are kept under it
#   KEEP=1          keep the run folders (they are kept anyway when outputs differ)
#   PROPS="k=v ..." more settings for every workload and both binaries, e.g.
#                   PROPS=threads=1 (an older binary echoes a key it does not know)
#   ISA=avx2        cap the instruction set of the current tree's kernels
#                   (avx512, the default, avx2 or portable); use a BUILD_DIR
#                   of its own for each
#   BUSY=N          keep N other processes busy (each a shell loop) on the
#                   machine while the binaries run: a machine not given over
#                   to the trainer
#
# Builds the current tree (and REV, when given, in a temporary worktree) in
# release mode, runs each binary REPEAT times per workload, each run in a
# fresh folder, and checks that every run's standard output (without the
# processor-time line) and output files (without the date and training-time
# lines) equal those of the first run of the old binary (of the new one
# without REV). Exit status 1 if any output differs or a run fails.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

root=$(cd "$bench_dir/.." && pwd)
build=$(bench_build_dir "$root")
repeat=${REPEAT:-3}
all_workloads="default-5k text-20k text-manual text-5k orient-deep load-1m series-10k series-20k series-40k map-1m map-4m"
# Not in the default set, since an older revision writes no summary: the cost of the quality figures.
extra_workloads="text-20k-summary"
workloads=${WORKLOADS:-$all_workloads}
rev=${1:-}

if [ $# -gt 1 ] || ! [[ $repeat =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: [REPEAT=N] [WORKLOADS=\"...\"] bench/run.sh [REV]" >&2
  exit 2
fi

for w in $workloads; do
  if ! bench_workload "$w"; then
    echo "unknown workload: $w (known: $all_workloads $extra_workloads)" >&2
    exit 2
  fi
done

bench_binaries "$root" "$build" "$rev"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-bench.XXXXXX")
keep=${KEEP:-}
# (Expanded when the trap runs: keep may be set on the way.)
# shellcheck disable=SC2016
trap 'bench_cleanup "$work" "$keep"' EXIT

busy=${BUSY:-0}
if ! [[ $busy =~ ^[0-9]+$ ]]; then
  echo "BUSY must be a number of processes" >&2
  exit 2
fi
bench_busy_start "$busy"

sides=(new)
[ -n "$old" ] && sides=(old new)
reference_side=${sides[0]}

# extreme min|max FILE...: the smallest or largest number held by the files
# (each holds one number, "-" or nothing); nothing when none holds a number.
extreme() {
  local which=$1
  shift
  awk -v which="$which" '$1 != "" && $1 != "-" {
    if (!seen || (which == "min" ? $1 + 0 < best : $1 + 0 > best)) { best = $1 + 0; shown = $1; seen = 1 }
  } END { if (seen) print shown }' "$@"
}

# Per side: best wall time in nanoseconds and in seconds, largest peak MiB, least processor seconds, and
# that processor time in nanoseconds per unit-component.
side_figures() {
  local dir=$1 side=$2 uc=$3 wall peak cpu
  wall=$(extreme min "$dir/$side"-*/wall_ns)
  peak=$(extreme max "$dir/$side"-*/peak_kb)
  cpu=$(extreme min "$dir/$side"-*/cpu_s)
  awk -v w="$wall" -v p="$peak" -v c="$cpu" -v u="$uc" 'BEGIN {
    printf "%s %.3f %s %s %s\n", w, w / 1e9, (p == "" ? "-" : sprintf("%.1f", p / 1024)),
      (c == "" ? "-" : c), (c == "" || u == "-" || u == 0 ? "-" : sprintf("%.3f", c * 1e9 / u))
  }'
}

# paired_median DIR [OLD NEW]: the median over the repeats k of OLD-k's wall
# time over NEW-k's (the two runs of a pair ran back to back; by default
# old and new), three decimals.
paired_median() {
  local dir=$1 first=${2:-old} second=${3:-new} k
  for ((k = 1; k <= repeat; k++)); do
    echo "$(cat "$dir/$first-$k/wall_ns") $(cat "$dir/$second-$k/wall_ns")"
  done | awk '$2 > 0 { r[++n] = $1 / $2 } END {
    if (n == 0) { print "-"; exit }
    for (i = 2; i <= n; i++) for (j = i; j > 1 && r[j - 1] > r[j]; j--) { t = r[j]; r[j] = r[j - 1]; r[j - 1] = t }
    printf "%.3f\n", n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
  }'
}

if [ -n "$old" ]; then
  header=$(printf '%-12s %9s %9s %8s %8s %9s %9s %5s %10s %9s %9s' workload "old s" "new s" old/new paired \
    "old MiB" "new MiB" maps "units*comp" "old ns/uc" "new ns/uc")
else
  header=$(printf '%-12s %9s %9s %5s %10s %9s' workload "wall s" "MiB" maps "units*comp" "ns/uc")
fi
rows=()
map_rows=()
map_old=0  # 1 when the older revision maps too
failed=0

# The map workloads share one model: a run of the current tree on every 50th
# vector of the million-vector set (about 20 maps); the larger set has the
# same centres, so the model fits it too.
map_model=
map_maps=
prepare_map_model() {
  [ -n "$map_model" ] && return 0
  local full dir=$work/map-model
  full=$(bench_dataset "$generator" "$build/bench-data" clusters 1000000 20 50)
  mkdir -p "$dir"
  {
    printf '$TYPE vectors\n$XDIM 20000\n$YDIM 1\n$VEC_DIM 20\n'
    awk 'NR > 4 && (NR - 5) % 50 == 0' "$full/data.vec"
  } >"$dir/sample.vec"
  bench_prepare "$dir/run" "$dir/sample.vec" "$full/data.tv" data $'TAU_1=0.05\nTAU_2=0.02\nsaveAsHTML=false\nsaveModel=true'
  bench_run "$new" "$dir/run"
  map_model=$dir/run/out/map_model.txt
  map_maps=$(grep -c '^map ' "$map_model")
}

# map_workload NAME DATASET: REPEAT times each, the trainer reading the set
# and stopping there (EXPAND_CYCLES=0 is refused right after reading), then
# the map command on the set with 1 and with 2 threads, its output into a
# file. Every mapping must write the same bytes. Adds a row to map_rows.
map_workload() {
  local w=$1 dataset=$2 dir k t run binary sum reference="" vectors map_runs="t1 t2"
  prepare_map_model
  # An older revision with a map command maps too, each of its runs right
  # after the current tree's with as many threads.
  if [ -n "$old" ] && { "$old" --map 2>&1 || true; } | grep -q -- "--map"; then
    map_runs="t1 o1 t2 o2"
    map_old=1
  fi
  vectors=$(sed -n '2s/^[^ ]* //p' "$dataset/data.vec")
  for ((k = 1; k <= repeat; k++)); do
    dir=$work/$w/load-$k
    bench_prepare "$dir" "$dataset/data.vec" "$dataset/data.tv" data \
      $'MAX_CYCLES=1\nTAU_2=1000\nsaveAsHTML=false\nEXPAND_CYCLES=0'
    bench_run "$new" "$dir"
    : >"$dir/cpu_s"
    for run in $map_runs; do
      t=${run#?}
      binary=$new
      [ "${run%?}" = o ] && binary=$old
      dir=$work/$w/$run-$k
      mkdir -p "$dir"
      ln -s "$(realpath "$dataset/data.vec")" "$dir/data.vec"
      bench_run_args "$binary" "$dir" --map "$map_model" data.vec mapped.csv --threads "$t"
      : >"$dir/cpu_s"
      if [ "$(cat "$dir/status")" != 0 ]; then
        echo "$w: the map command failed: $(tail -n 1 "$dir/stderr")"
        failed=1
      fi
      sum=$(cksum <"$dir/mapped.csv")
      rm -f "$dir/mapped.csv"
      [ -z "$reference" ] && reference=$sum
      if [ "$sum" != "$reference" ]; then
        echo "$w: OUTPUTS DIFFER ($t thread(s), run $k)"
        failed=1
      fi
    done
  done
  local load one two old_one=- old_two=- paired_one=- paired_two=-
  read -r _ load _ < <(side_figures "$work/$w" load -)
  read -r _ one one_peak _ < <(side_figures "$work/$w" t1 -)
  read -r _ two two_peak _ < <(side_figures "$work/$w" t2 -)
  if [ "$map_runs" != "t1 t2" ]; then
    read -r _ old_one _ < <(side_figures "$work/$w" o1 -)
    read -r _ old_two _ < <(side_figures "$work/$w" o2 -)
    paired_one=$(paired_median "$work/$w" o1 t1)
    paired_two=$(paired_median "$work/$w" o2 t2)
  fi
  map_rows+=("$(awk -v w="$w" -v n="$vectors" -v l="$load" -v a="$one" -v b="$two" -v p="$one_peak" -v q="$two_peak" \
    -v oa="$old_one" -v ob="$old_two" -v pa="$paired_one" -v pb="$paired_two" 'BEGIN {
      printf "%-8s %9d %8.3f %8.3f %8.2f %8.3f %8.2f %8s %8s", w, n, l, a, a / l, b, a / b, p, q
      if (oa != "-") printf " %9.3f %9.3f %8.2f %8.2f %8s %8s", oa, ob, oa / a, ob / b, pa, pb
    }')")
  echo "$w: mapped $vectors vectors $(($(wc -w <<<"$map_runs") * repeat)) times" >&2
  [ -n "$keep" ] || rm -rf "${work:?}/$w"
}

for w in $workloads; do
  bench_workload "$w"
  if [ "$props" = map ]; then
    # shellcheck disable=SC2086 # the generator arguments are meant to split
    map_workload "$w" "$(bench_dataset "$generator" "$build/bench-data" $data)"
    continue
  fi
  for extra in ${PROPS:-}; do
    props+=$'\n'"$extra"
  done
  # shellcheck disable=SC2086 # the generator arguments are meant to split
  dataset=$(bench_dataset "$generator" "$build/bench-data" $data)
  echo "workload $w: $repeat run(s) per binary ..." >&2
  for ((k = 1; k <= repeat; k++)); do
    # Each pair's order alternates, so neither binary always runs first.
    order=("${sides[@]}")
    [ $((k % 2)) -eq 0 ] && [ "${#sides[@]}" -eq 2 ] && order=("${sides[1]}" "${sides[0]}")
    for side in "${order[@]}"; do
      dir=$work/$w/$side-$k
      binary=$new
      [ "$side" = old ] && binary=$old
      bench_prepare "$dir" "$dataset/data.vec" "$dataset/data.tv" data "$props"
      bench_run "$binary" "$dir"
      bench_cpu_seconds "$dir" >"$dir/cpu_s"
      if [ "$(cat "$dir/status")" != 0 ]; then
        echo "$w: the $side binary failed (exit status $(cat "$dir/status")): $(tail -n 1 "$dir/stdout")"
        failed=1
      fi
    done
  done

  reference=$work/$w/$reference_side-1
  identical=1
  for dir in "$work/$w"/*-*; do
    [ "$dir" = "$reference" ] && continue
    run=$(basename "$dir")
    if ! bench_compare "$w" "$reference_side-1" "$reference" "${run%-*} run ${run##*-}" "$dir"; then
      identical=0
    fi
  done
  if [ "$identical" -eq 0 ]; then
    echo "$w: OUTPUTS DIFFER (run folders kept in $work/$w)"
    failed=1
    keep=1
  fi

  read -r maps uc < <(bench_count "$work/$w/new-1")
  read -r new_wall_ns new_wall new_peak _ new_ns < <(side_figures "$work/$w" new "$uc")
  uc_shown=$(awk -v u="$uc" 'BEGIN { print (u == "-" ? "-" : sprintf("%.3g", u)) }')
  if [ -n "$old" ]; then
    read -r old_wall_ns old_wall old_peak _ old_ns < <(side_figures "$work/$w" old "$uc")
    ratio=$(awk -v o="$old_wall_ns" -v n="$new_wall_ns" 'BEGIN { print (n > 0 ? sprintf("%.2f", o / n) : "-") }')
    rows+=("$(printf '%-12s %9s %9s %8s %8s %9s %9s %5s %10s %9s %9s' "$w" "$old_wall" "$new_wall" "$ratio" \
      "$(paired_median "$work/$w")" "$old_peak" "$new_peak" "$maps" "$uc_shown" "$old_ns" "$new_ns")")
  else
    rows+=("$(printf '%-12s %9s %9s %5s %10s %9s' "$w" "$new_wall" "$new_peak" "$maps" "$uc_shown" "$new_ns")")
  fi
  echo "$w: outputs $([ "$identical" -eq 1 ] && echo identical || echo DIFFERENT) over $((repeat * ${#sides[@]})) runs" >&2
  [ -z "$keep" ] && rm -rf "${work:?}/$w"
done

echo
if [ "${#rows[@]}" -gt 0 ]; then
  echo "best wall time of $repeat run(s)${old:+; old = $rev, new = current tree}"
  echo "$header"
  printf '%s\n' "${rows[@]}"
fi
if [ "${#map_rows[@]}" -gt 0 ]; then
  [ "${#rows[@]}" -gt 0 ] && echo
  echo "the map command (current tree${old:+, and $rev where it has one}) through a model of $map_maps maps; best wall time of $repeat run(s)"
  printf '%-8s %9s %8s %8s %8s %8s %8s %8s %8s' workload vectors "load s" "1 thr s" 1/load "2 thr s" 1/2 \
    "1 MiB" "2 MiB"
  [ "$map_old" -eq 1 ] && printf ' %9s %9s %8s %8s %8s %8s' "old 1 s" "old 2 s" "old/1" "old/2" paired1 paired2
  echo
  printf '%s\n' "${map_rows[@]}"
fi
if [ "$failed" -ne 0 ]; then
  echo "FAILED: see the lines above"
  exit 1
fi
echo "all outputs identical"
