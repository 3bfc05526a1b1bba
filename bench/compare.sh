#!/usr/bin/env bash
# Proves that a change leaves every output byte alone: runs two velmar binaries
# on the same inputs under several settings and compares standard output
# (without the processor-time line) and every written file (without the date
# and training-time records). Exit status 0 only when everything is identical.
#
# usage: bench/compare.sh OLD_BINARY NEW_BINARY
# (build an older commit with: git worktree add /tmp/old REV &&
#  cmake -S /tmp/old -B /tmp/old/build && cmake --build /tmp/old/build --target velmar)
set -euo pipefail

old=$(realpath "$1")
new=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF -DVELMAR_BENCH=ON >/dev/null
cmake --build "$build" --target velmar_bench_data >/dev/null
"$build/bench/velmar_bench_data" 1500 12 20 "$work/gen.vec" "$work/gen.tv"
cp "$root/examples/iris.vec" "$root/examples/iris.tv" "$work/"

iris="inputFile=iris.vec
descriptionFile=iris.tv
saveAsCartix=true"
gen="inputFile=gen.vec
descriptionFile=gen.tv
saveAsCartix=true"
configs=(
  "$iris
normInputVectors=INTERVAL
TAU_1=0.03
TAU_2=0.02
printMQE=true"
  "$iris
ORIENTATION=true
TAU_1=0.05
TAU_2=0.01
randomSeed=3
LABELS_ONLY=false"
  "$iris
normInputVectors=LENGTH
TAU_1=0.1
TAU_2=0.001
INITIAL_X_SIZE=3
INITIAL_Y_SIZE=1
MAX_CYCLES=40"
  "$gen
TAU_1=0.02
TAU_2=0.003
randomSeed=7"
)

status=0
for n in "${!configs[@]}"; do
  for side in old new; do
    dir="$work/$side$n"
    mkdir -p "$dir/out"
    cp "$work"/*.vec "$work"/*.tv "$dir/"
    printf '%s\nsavePath=out\n' "${configs[$n]}" >"$dir/run.prop"
    binary=$old
    [ "$side" = new ] && binary=$new
    (cd "$dir" && { "$binary" run.prop || echo "exit status $?"; } | grep -v '^[0-9.e+-]*$' >stdout.txt) || true
    sed -i '/^\$STORAGE_DATE \|^\$TRAINING_TIME /d' "$dir"/out/*.mapdescr
  done
  if diff -r "$work/old$n" "$work/new$n" >/dev/null; then
    echo "configuration $n: identical ($(cat "$work/new$n"/out/* | wc -c) bytes in $(ls "$work/new$n/out" | wc -l) files)"
  else
    echo "configuration $n: DIFFERENT"
    status=1
  fi
done
exit $status
