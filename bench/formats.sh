#!/usr/bin/env bash
# Times the reading of the other input formats against the input-vector file
# holding the same numbers:
#   - a table (inputFormat=csv) of VECTORS (default 1,000,000) x 20, against
#     its input-vector file (goal: at most 1.2 times the time);
#   - sparse vectors (inputFormat=sparse), DOCS (default 20,000) documents
#     over TERMS (default 5,000) terms, 1 % of them non-zero, against their
#     dense input-vector file (goal: under a second, and no more memory).
# Each run reads the files and stops there (EXPAND_CYCLES=0 is refused right
# after them): best wall time of REPEAT (default 3) runs and peak memory. The
# two runs of a pair must print the same "added" lines, vector by vector.
#
# usage: bench/formats.sh
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

root=$(cd "$bench_dir/.." && pwd)
build=$(bench_build_dir "$root")
repeat=${REPEAT:-3}
vectors=${VECTORS:-1000000}
docs=${DOCS:-20000}
terms=${TERMS:-5000}

echo "building the current tree in $build ..." >&2
bench_build "$root" "$build" ON velmar velmar_bench_data
velmar=$build/velmar
generator=$build/bench/velmar_bench_data

# The data sets are written once and kept, keyed by their arguments and the generator's source.
data=$build/bench-data/formats-$vectors-$docs-$terms-$(cksum <"$bench_dir/gen_data.cpp" | cut -d' ' -f1)
if [ ! -f "$data/done" ]; then
  echo "generating the data sets in $data ..." >&2
  rm -rf "$data"
  mkdir -p "$data"
  "$generator" clusters "$vectors" 20 50 "$data/table.vec" "$data/table.tv"
  "$generator" --format=csv clusters "$vectors" 20 50 "$data/table.csv" "$data/table.tv"
  "$generator" --density=0.01 text "$docs" "$terms" 20 "$data/docs.vec" "$data/docs.tv"
  "$generator" --density=0.01 --format=sparse text "$docs" "$terms" 20 "$data/docs.sparse" "$data/docs.tv"
  touch "$data/done"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-formats.XXXXXX")
trap 'rm -rf "$work"' EXIT

# measure NAME PROPERTIES: reads as the properties say, REPEAT times; sets
# `seconds` (best wall time) and `mib` (peak memory of that run, "-" without
# /usr/bin/time) and keeps the "added" lines in $work/NAME.added.
measure() {
  local name=$1 dir=$work/$1 best="" peak="-" ns
  mkdir -p "$dir/out"
  printf '%s\nsavePath=out\nEXPAND_CYCLES=0\n' "$2" >"$dir/run.prop"
  for ((k = 0; k < repeat; k++)); do
    bench_run "$velmar" "$dir"
    ns=$(cat "$dir/wall_ns")
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then
      best=$ns
      peak=$(cat "$dir/peak_kb")
    fi
  done
  if ! grep -q '^EXPAND_CYCLES must be at least 1' "$dir/stdout"; then
    echo "$name: the run did not read its input: $(tail -n 1 "$dir/stdout")" >&2
    exit 1
  fi
  grep '^added ' "$dir/stdout" >"$work/$name.added"
  seconds=$(awk -v n="$best" 'BEGIN { printf "%.3f", n / 1e9 }')
  mib=$(awk -v k="$peak" 'BEGIN { print (k == "-" ? "-" : sprintf("%.1f", k / 1024)) }')
}

status=0
# pair TITLE GOAL_RATIO DENSE_PROPS OTHER_PROPS: measures both and prints a line.
pair() {
  local title=$1 goal=$2 dense_s dense_mib other_s other_mib
  measure dense "$3"
  dense_s=$seconds dense_mib=$mib
  measure other "$4"
  other_s=$seconds other_mib=$mib
  if ! cmp -s "$work/dense.added" "$work/other.added"; then
    echo "$title: the two formats read different vectors" >&2
    status=1
  fi
  awk -v t="$title" -v ds="$dense_s" -v dm="$dense_mib" -v os="$other_s" -v om="$other_mib" -v g="$goal" 'BEGIN {
    printf "%-28s %9s %9s %9s %9s %7.2f   (goal: %s)\n", t, ds, os, dm, om, os / ds, g }'
}

echo "best wall time of $repeat run(s), reading only; peak memory of the best run"
printf '%-28s %9s %9s %9s %9s %7s\n' "data" "dense s" "format s" "dense MiB" "fmt MiB" "ratio"
pair "table $vectors x 20" "ratio at most 1.2" \
  "inputFile=$data/table.vec
descriptionFile=$data/table.tv" \
  "inputFile=$data/table.csv
inputFormat=csv"
pair "sparse $docs x $terms, 1 %" "format s below 1, fmt MiB at most dense MiB" \
  "inputFile=$data/docs.vec
descriptionFile=$data/docs.tv" \
  "inputFile=$data/docs.sparse
inputFormat=sparse
descriptionFile=$data/docs.tv"
exit $status
