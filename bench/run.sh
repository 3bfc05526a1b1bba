#!/usr/bin/env bash
# Times the trainer on the bundled iris example and on a generated set of
# 5000 vectors x 30 components, both with HTML output, and prints the two
# wall times (best of REPEAT runs) and their ratio.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
repeat=${REPEAT:-3}
jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "building release binary in $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF -DVELMAR_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs" --target velmar velmar_bench_data >/dev/null

mkdir -p "$work/iris/output" "$work/big/out"
cp "$root/examples/iris.prop" "$root/examples/iris.vec" "$root/examples/iris.tv" "$work/iris/"

# 5000 vectors around 50 centres, trained with settings that build a deep hierarchy.
"$build/bench/velmar_bench_data" 5000 30 50 "$work/big/big.vec" "$work/big/big.tv"
cat >"$work/big/big.prop" <<PROPS
inputFile=big.vec
descriptionFile=big.tv
savePath=out
randomSeed=1
TAU_1=0.01
TAU_2=0.003
saveAsHTML=true
PROPS

# Best wall time of `repeat` runs in nanoseconds; each run starts in its folder.
best_ns() {
  local dir=$1 prop=$2 best="" start stop
  for ((k = 0; k < repeat; k++)); do
    start=$(date +%s%N)
    if ! (cd "$dir" && "$build/velmar" "$prop" >run.log); then
      echo "run in $dir failed:" >&2
      tail -n 3 "$dir/run.log" >&2
      exit 1
    fi
    stop=$(date +%s%N)
    if [ -z "$best" ] || [ $((stop - start)) -lt "$best" ]; then
      best=$((stop - start))
    fi
  done
  echo "$best"
}

iris=$(best_ns "$work/iris" iris.prop)
big=$(best_ns "$work/big" big.prop)
maps=$(ls "$work/big/out" | wc -l)
checks=$(grep -c 'MQE ; ' "$work/big/run.log" || true)

awk -v i="$iris" -v b="$big" -v r="$repeat" -v m="$maps" -v c="$checks" 'BEGIN {
  printf "best of %d runs, wall time\n", r
  printf "  iris example (150 x 4):   %8.3f s\n", i / 1e9
  printf "  generated (5000 x 30):    %8.3f s   (%d maps, %d growth checks)\n", b / 1e9, m, c
  printf "  ratio generated / iris:   %8.1f\n", b / i
}'
