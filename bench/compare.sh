#!/usr/bin/env bash
# Proves that a change leaves every output byte alone: runs two velmar binaries
# on the same inputs under many settings and compares exit status, standard
# output (without the processor-time line), standard error and every written
# file (without the date and training-time lines of map-description files).
# Exit status 0 only when everything is identical.
#
# usage: bench/compare.sh OLD_BINARY NEW_BINARY
#   BUILD_DIR=DIR  where the data generator is built and its data sets are
#                  kept (default build-bench/)
# (bench/run.sh REV builds an older revision and compares it on larger sets.)
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

if [ $# -ne 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
  echo "usage: bench/compare.sh OLD_BINARY NEW_BINARY (both executable)" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
root=$(cd "$bench_dir/.." && pwd)
build=$(bench_build_dir "$root")
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

bench_build "$root" "$build" ON velmar_bench_data
generator=$build/bench/velmar_bench_data

# Data sets by name: the generator's arguments (or the bundled iris example).
declare -A data_args=(
  [gen]="clusters 1500 12 20"
  [seeded]="clusters 1500 12 20 99"
  [one]="clusters 500 1 5"
  [two]="clusters 800 2 9"
  [seven]="clusters 1000 7 12"
  [wide]="clusters 1200 33 15"
  [text]="text 3000 120 6"
  [terms]="text 400 300 6"
  [thousand]="clusters 150 1000 4"
)

# A loaded MQE0 for iris: the mean of its four components and a total error.
# shellcheck disable=SC2016 # the $ is a literal
printf '$MEAN_VEC 5.84333 3.05733 3.758 1.19933\n$MQE0 680.8\n' >"$work/iris.mqe0"

names=()
datasets=()
settings=()
config() {
  names+=("$1")
  datasets+=("$2")
  shift 2
  settings+=("$(printf '%s\n' "$@")")
}

# The first four are the original comparison set.
config iris-interval iris normInputVectors=INTERVAL TAU_1=0.03 TAU_2=0.02 printMQE=true saveAsCartix=true
config iris-orient iris ORIENTATION=true TAU_1=0.05 TAU_2=0.01 randomSeed=3 LABELS_ONLY=false saveAsCartix=true
config iris-length-cap iris normInputVectors=LENGTH TAU_1=0.1 TAU_2=0.001 INITIAL_X_SIZE=3 INITIAL_Y_SIZE=1 \
  MAX_CYCLES=40 saveAsCartix=true
config gen-deep gen TAU_1=0.02 TAU_2=0.003 randomSeed=7 saveAsCartix=true
# Seeds: another data seed with the default random sequence, a large and a
# negative (wrapping) trainer seed.
config seeded-defaults seeded saveAsCartix=true
config gen-seed-big gen randomSeed=4000000000 TAU_1=0.05 TAU_2=0.01 saveAsCartix=true
config gen-seed-negative gen randomSeed=-17 TAU_1=0.05 TAU_2=0.01 INITIAL_NEIGHBOURHOOD=3 saveAsCartix=true
# Child maps spread towards their neighbours, with the error trace on.
config gen-orient-trace gen ORIENTATION=true printMQE=true TAU_1=0.1 TAU_2=0.02 EXPAND_CYCLES=2 MAX_CYCLES=6 \
  saveAsCartix=true
config seven-orient seven ORIENTATION=true TAU_1=0.05 TAU_2=0.005 randomSeed=11 saveAsCartix=true
# Both normalisations on generated and text-like sets.
config seven-length seven normInputVectors=LENGTH TAU_1=0.05 TAU_2=0.01 saveAsCartix=true
config text-interval text normInputVectors=INTERVAL TAU_1=0.1 TAU_2=0.03 saveAsCartix=true
config text-labels text TAU_1=0.1 TAU_2=0.03 LABELS_NUM=2 LABELS_THRESHOLD=0.2 LABELS_ONLY=false \
  HTML_PREFIX=page DATAFILE_EXTENSION=.txt saveAsCartix=true
# Component counts from 1 to 1000.
config one-component one TAU_1=0.05 TAU_2=0.01 saveAsCartix=true
config two-thin-start two INITIAL_X_SIZE=1 INITIAL_Y_SIZE=3 TAU_1=0.05 TAU_2=0.01 saveAsCartix=true
config seven-single-unit seven INITIAL_X_SIZE=1 INITIAL_Y_SIZE=1 MAX_CYCLES=8 TAU_2=0.05 saveAsCartix=true
config wide-capped-nolabels wide MAX_CYCLES=50 TAU_1=0.02 TAU_2=0.01 LABELS_NUM=0 saveAsCartix=true
config terms-300 terms TAU_1=0.15 TAU_2=0.05 EXPAND_CYCLES=5 INITIAL_LEARNRATE=0.5 saveAsCartix=true
config thousand-components thousand TAU_1=0.05 TAU_2=0.005 INITIAL_NEIGHBOURHOOD=0 saveAsCartix=true
# The overview page and the assignments file, with every other output.
config iris-every-output iris normInputVectors=INTERVAL TAU_1=0.03 TAU_2=0.02 printMQE=true saveAsCartix=true \
  saveOverview=true saveAssignments=true
config gen-deep-overview gen TAU_1=0.02 TAU_2=0.003 randomSeed=7 saveOverview=true saveAssignments=true \
  LABELS_NUM=2
config seven-orient-overview seven ORIENTATION=true TAU_1=0.05 TAU_2=0.005 randomSeed=11 saveOverview=true \
  saveAssignments=true saveAsHTML=false
config text-overview text normInputVectors=LENGTH TAU_1=0.1 TAU_2=0.03 saveOverview=true saveAssignments=true
# A loaded MQE0, both outputs off, and runs that are refused.
config iris-loaded-mqe0 iris "MQE0_FILE=$work/iris.mqe0" TAU_1=0.1 TAU_2=0.01 saveAsCartix=true
config gen-nothing-saved gen saveAsHTML=false TAU_1=0.1
config refused-tau2 iris TAU_2=0 saveAsCartix=true
config refused-missing-input iris inputFile=absent.vec

status=0
total_files=0
for n in "${!names[@]}"; do
  name=${names[$n]}
  set=${datasets[$n]}
  if [ "$set" = iris ]; then
    vec=$root/examples/iris.vec
    descr=$root/examples/iris.tv
  else
    # shellcheck disable=SC2086 # the generator arguments are meant to split
    dir=$(bench_dataset "$generator" "$build/bench-data" ${data_args[$set]})
    vec=$dir/data.vec
    descr=$dir/data.tv
  fi
  for side in old new; do
    binary=$old
    [ "$side" = new ] && binary=$new
    bench_prepare "$work/$n-$side" "$vec" "$descr" "$set" "${settings[$n]}"
    bench_run "$binary" "$work/$n-$side"
  done
  files=$(find "$work/$n-new/out" -type f | wc -l)
  bytes=$(find "$work/$n-new/out" -type f -exec cat {} + | wc -c)
  if bench_compare "$name" old "$work/$n-old" new "$work/$n-new"; then
    printf '%-24s identical (exit status %s, %s bytes in %s files)\n' "$name:" "$(cat "$work/$n-new/status")" \
      "$bytes" "$files"
  else
    echo "$name: DIFFERENT"
    status=1
  fi
  total_files=$((total_files + files))
  rm -rf "${work:?}/$n-old" "${work:?}/$n-new"
done
if [ "$status" -eq 0 ]; then
  echo "all ${#names[@]} configurations identical ($total_files output files)"
else
  echo "outputs DIFFER"
fi
exit "$status"
