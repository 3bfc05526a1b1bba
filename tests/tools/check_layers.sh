#!/usr/bin/env bash
# Checks the layering of src/ by its includes: each file includes only files
# of its own layer or of lower ones. Lowest first:
#   base  <  io, kernels  <  training  <  the model (the classes in src/ itself)
#   <  output, apply  <  settings  <  api (the library interface)  <  main.cpp
# The model's classes form the one loop the design has: NeuronLayer's save
# members are defined by the output writers, and Globals saves through them.
set -euo pipefail
src=$(cd "$(dirname "$0")/../../src" && pwd)

rank() {
  case $1 in
    base/*) echo 0 ;;
    io/* | kernels/*) echo 1 ;;
    training/*) echo 2 ;;
    output/* | apply/*) echo 4 ;;
    settings/*) echo 5 ;;
    api/*) echo 6 ;;
    main.cpp) echo 7 ;;
    */*) echo "unknown folder: $1" >&2; exit 2 ;;
    *) echo 3 ;;
  esac
}

status=0
cd "$src"
while IFS= read -r file; do
  file=${file#./}
  own=$(rank "$file")
  while IFS= read -r included; do
    [ "$included" = config.h ] && continue
    if [ ! -e "$included" ]; then
      echo "$file includes $included, which is not in src/"
      status=1
      continue
    fi
    if [ "$(rank "$included")" -gt "$own" ]; then
      echo "$file (layer $own) includes $included (layer $(rank "$included")), a higher layer"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sort)
[ "$status" -eq 0 ] && echo "every file of src/ includes only its own layer and lower ones"
exit "$status"
