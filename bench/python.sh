#!/usr/bin/env bash
# The Python package against the command line (see python_bench.py):
#   bench/python.sh [REPEAT]
# builds the current tree with the Python module into BUILD_DIR (by default
# build-bench) and prints the fit, map and memory tables.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/lib.sh"
build=$(bench_build_dir "$root")
python=${PYTHON:-/usr/bin/python3}
echo "building the current tree with the Python module in $build ..." >&2
bench_cmake_args=(-DVELMAR_PYTHON=ON "-DPython3_EXECUTABLE=$python")
bench_build "$root" "$build" ON velmar velmar_bench_data _velmar velmar_python_package
exec "$python" "$root/bench/python_bench.py" "$build" "${1:-5}"
