#!/usr/bin/env bash
# Times the reading of a large input file: a generated set of VECTORS vectors
# (default 1000000) with 20 components of five decimals each. Two runs per
# binary, best wall time of REPEAT (default 3) and peak memory of each:
#   - reading only: EXPAND_CYCLES=0 is refused right after both files are read;
#   - a short complete run: MQE0, one growth check, no output files.
# With OLD_BINARY given, it is timed too and the standard output of the two
# binaries must be identical (the processor-time line left out).
#
# usage: bench/load.sh [OLD_BINARY]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
repeat=${REPEAT:-3}
vectors=${VECTORS:-1000000}
old=${1:+$(realpath "$1")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "building release binary in $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF -DVELMAR_BENCH=ON >/dev/null
cmake --build "$build" -j 2 --target velmar velmar_bench_data >/dev/null
new=$build/velmar

cd "$work"
mkdir out
"$build/bench/velmar_bench_data" "$vectors" 20 50 big.vec big.tv
common="inputFile=big.vec
descriptionFile=big.tv
savePath=out
MAX_CYCLES=1
TAU_2=1000
saveAsHTML=false"
printf '%s\nEXPAND_CYCLES=0\n' "$common" >read.prop
printf '%s\nEXPAND_CYCLES=1\n' "$common" >run.prop

# Prints "seconds peak-KB" of the best of `repeat` runs; keeps the output in NAME.out.
measure() {
  local binary=$1 prop=$2 name=$3 best="" peak="" start stop
  for ((k = 0; k < repeat; k++)); do
    start=$(date +%s%N)
    if [ -x /usr/bin/time ]; then
      /usr/bin/time -f %M -o peak.txt "$binary" "$prop" >"$name.out" || true
    else
      "$binary" "$prop" >"$name.out" || true
      echo "?" >peak.txt
    fi
    stop=$(date +%s%N)
    if [ -z "$best" ] || [ $((stop - start)) -lt "$best" ]; then
      best=$((stop - start))
      peak=$(tail -n 1 peak.txt)
    fi
  done
  awk -v b="$best" -v p="$peak" 'BEGIN { printf "%7.3f s  %8s KB peak", b / 1e9, p }'
}

status=0
for run in read run; do
  echo "$run ($vectors x 20), best of $repeat:"
  echo "  new: $(measure "$new" "$run.prop" "new.$run")"
  if [ -n "$old" ]; then
    echo "  old: $(measure "$old" "$run.prop" "old.$run")"
    if cmp -s <(grep -v '^[0-9.e+-]*$' "old.$run.out") <(grep -v '^[0-9.e+-]*$' "new.$run.out"); then
      echo "  standard output identical"
    else
      echo "  standard output DIFFERENT"
      status=1
    fi
  fi
done
exit $status
