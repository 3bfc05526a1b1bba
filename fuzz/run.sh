#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60).
#
#   fuzz/run.sh [SECONDS] [TARGET...]    targets: properties input description mqe0 classes run csv sparse model
#
# Each target starts from its seed corpus fuzz/corpus/TARGET and grows its
# working corpus in $FUZZ_WORK/corpus/TARGET (default build-fuzz/work, kept
# out of git); a crashing, hanging or leaking input is saved under
# $FUZZ_WORK/artifacts/TARGET/ and the script fails. FUZZ_SKIP_BUILD=1 uses
# the targets already built (for several runs at once); FUZZ_BUILD_DIR
# chooses the build folder; extra libFuzzer flags go in FUZZ_FLAGS.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(properties input description mqe0 classes run csv sparse model)
fi
build=${FUZZ_BUILD_DIR:-build-fuzz}
work=${FUZZ_WORK:-$build/work}
jobs=${JOBS:-2}

if [ "${FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMAR_FUZZ=ON -DVELMAR_TESTS=OFF -DVELMAR_PYTHON=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}")
fi

# Leaks are checked: every input's run is released before the next one.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Longest input, and the seconds one input may take, per target. A whole run
# is bounded by the clamped settings, so 20 seconds means a hang.
max_len() { case $1 in run | input | csv | sparse | model) echo 8192 ;; *) echo 4096 ;; esac; }
timeout_for() { case $1 in run) echo 20 ;; *) echo 10 ;; esac; }

# A target's findings, told again after the last target so that they stand
# at the end of a long log: the sanitizer's or libFuzzer's report, and each
# saved input, gzipped and in base64 (printf ... | base64 -d | gunzip).
report() {
  local target=$1 log=$2 input
  echo "== $target found a problem; its report:"
  grep -m 1 -A 60 -E '^==[0-9]+== ?(ERROR|WARNING)|runtime error|ALARM|Deadly signal|out-of-memory|^INFO: a leak' \
    "$log" || tail -n 40 "$log"
  for input in "$work/artifacts/$target"/*; do
    [ -f "$input" ] || continue
    echo "== saved input $input ($(wc -c <"$input") bytes), gzip and base64:"
    gzip -9cn "$input" | base64 -w 0
    echo
  done
}

failed=()
for target in "${targets[@]}"; do
  mkdir -p "$work/corpus/$target" "$work/artifacts/$target" "$work/logs"
  echo "== fuzzing $target for $seconds s"
  # shellcheck disable=SC2086  # FUZZ_FLAGS holds several flags
  if ! "$build/fuzz/fuzz_$target" "$work/corpus/$target" "fuzz/corpus/$target" "fuzz/regressions/$target" \
      -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout="$(timeout_for "$target")" \
      -rss_limit_mb=2048 -dict=fuzz/run.dict -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$target/" ${FUZZ_FLAGS:-} 2>&1 | tee "$work/logs/$target.log"; then
    echo "== $target found a problem; the input is in $work/artifacts/$target/"
    failed+=("$target")
  fi
done
for target in "${failed[@]}"; do
  report "$target" "$work/logs/$target.log"
done
[ "${#failed[@]}" -eq 0 ]
