#!/usr/bin/env bash
# Times the trainer on a fixed set of workloads and proves its outputs
# unchanged against an older revision.
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
build=${BUILD_DIR:-$root/build-bench}
build=$(mkdir -p "$build" && cd "$build" && pwd)
repeat=${REPEAT:-3}
all_workloads="default-5k text-20k text-5k orient-deep load-1m series-10k series-20k series-40k"
workloads=${WORKLOADS:-$all_workloads}
rev=${1:-}

if [ $# -gt 1 ] || ! [[ $repeat =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: [REPEAT=N] [WORKLOADS=\"...\"] bench/run.sh [REV]" >&2
  exit 2
fi

# workload NAME: sets data (generator arguments) and props (settings beyond
# the input files and savePath=out).
workload() {
  case $1 in
    default-5k)
      data="clusters 5000 50 50"
      props="saveAsCartix=true" ;;
    text-20k)
      data="text 20000 300 8"
      props=$'TAU_1=0.07\nTAU_2=0.02\nsaveAsCartix=true' ;;
    text-5k)
      data="text 10000 5000 20 20240601 1"
      props=$'TAU_1=0.07\nTAU_2=0.02\nsaveAsCartix=true' ;;
    orient-deep)
      data="clusters 10000 30 60"
      props=$'ORIENTATION=true\nTAU_1=0.1\nTAU_2=0.01\nsaveAsCartix=true' ;;
    load-1m)
      data="clusters 1000000 20 50"
      props=$'EXPAND_CYCLES=1\nMAX_CYCLES=1\nTAU_2=1000\nsaveAsHTML=false' ;;
    series-10k | series-20k | series-40k)
      local thousands=${1#series-}
      data="clusters $((${thousands%k} * 1000)) 50 50"
      props=$'TAU_1=0.1\nTAU_2=0.05\nsaveAsCartix=true' ;;
    *) return 1 ;;
  esac
}

for w in $workloads; do
  if ! workload "$w"; then
    echo "unknown workload: $w (known: $all_workloads)" >&2
    exit 2
  fi
done

echo "building the current tree in $build ..." >&2
bench_cmake_args=(-DVELMAR_MAX_ISA="${ISA:-avx512}")
bench_build "$root" "$build" ON velmar velmar_bench_data
bench_cmake_args=()
new=$build/velmar
generator=$build/bench/velmar_bench_data
old=
if [ -n "$rev" ]; then
  old=$(bench_revision_binary "$root" "$rev" "$build/revisions")
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-bench.XXXXXX")
keep=${KEEP:-}
cleanup() {
  if [ -n "$keep" ]; then
    echo "run folders kept in $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

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

if [ -n "$old" ]; then
  header=$(printf '%-12s %9s %9s %8s %9s %9s %5s %10s %9s %9s' workload "old s" "new s" old/new \
    "old MiB" "new MiB" maps "units*comp" "old ns/uc" "new ns/uc")
else
  header=$(printf '%-12s %9s %9s %5s %10s %9s' workload "wall s" "MiB" maps "units*comp" "ns/uc")
fi
rows=()
failed=0

for w in $workloads; do
  workload "$w"
  for extra in ${PROPS:-}; do
    props+=$'\n'"$extra"
  done
  # shellcheck disable=SC2086 # the generator arguments are meant to split
  dataset=$(bench_dataset "$generator" "$build/bench-data" $data)
  echo "workload $w: $repeat run(s) per binary ..." >&2
  for ((k = 1; k <= repeat; k++)); do
    for side in "${sides[@]}"; do
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
    rows+=("$(printf '%-12s %9s %9s %8s %9s %9s %5s %10s %9s %9s' "$w" "$old_wall" "$new_wall" "$ratio" \
      "$old_peak" "$new_peak" "$maps" "$uc_shown" "$old_ns" "$new_ns")")
  else
    rows+=("$(printf '%-12s %9s %9s %5s %10s %9s' "$w" "$new_wall" "$new_peak" "$maps" "$uc_shown" "$new_ns")")
  fi
  echo "$w: outputs $([ "$identical" -eq 1 ] && echo identical || echo DIFFERENT) over $((repeat * ${#sides[@]})) runs" >&2
  [ -z "$keep" ] && rm -rf "${work:?}/$w"
done

echo
echo "best wall time of $repeat run(s)${old:+; old = $rev, new = current tree}"
echo "$header"
printf '%s\n' "${rows[@]}"
if [ "$failed" -ne 0 ]; then
  echo "FAILED: see the lines above"
  exit 1
fi
echo "all outputs identical"
