#!/usr/bin/env bash
# Checks the layering of src/ by its includes: each file includes only files
# of its own layer or of lower ones. Lowest first:
#   base  <  io, kernels  <  training  <  the model (the classes in src/ itself)
#   <  output, apply  <  settings  <  api (the library interface)  <  main.cpp
# The model's classes form the one loop the design has: NeuronLayer's save
# members are defined by the output writers, and Globals saves through them.
# So it also checks where the model's members are defined: in their class's
# own header or .cpp, or in a file listed below.
set -euo pipefail
src=$(cd "$(dirname "$0")/../../src" && pwd)

# The members of a model class defined outside its own files: each entry is a
# file and an extended regular expression that "Class::member" and the
# character after it must match there. The README's code map names them too.
defined_elsewhere=(
  'output/mappage.cpp NeuronLayer::saveAsHTML\('
  'output/maplibrary.cpp NeuronLayer::saveAsCartix\('
  'settings/settingtable.cpp Globals::[A-Za-z_0-9]+='  # the settings, with their defaults from the table
)

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

# The model's classes and the header (without .h) that declares each.
declare -A home
while read -r header name; do
  home[$name]=${header%.h}
done < <(grep -HoE '^(class|struct) [A-Za-z_0-9]+ \{' -- *.h | sed -E 's/^([^:]*):(class|struct) ([A-Za-z_0-9]+).*/\1 \3/')
classes=$(IFS='|'; echo "${!home[*]}")
# A definition starts a line: a type (or nothing, for a constructor), then the
# qualified name and "(", "=", ";" or "{"; a call or use inside a body has a
# "(" or "=" before it, or is indented.
definition="^([^[:space:]#/}][^(=]*[[:space:]*&])?($classes)::(~?[A-Za-z_][A-Za-z_0-9]*|operator[^(]*) ?[(=;{]"
# Each definition as "file line Class::member" and the character after the
# name (the qualified name after the type: the last one before the first "(" or "=").
declare -A used
defined=0
while read -r file line name; do
  file=${file#./}
  class=${name%%::*}
  case $file in "${home[$class]}.h" | "${home[$class]}.cpp") continue ;; esac
  listed=
  for entry in "${defined_elsewhere[@]}"; do
    if [ "${entry%% *}" = "$file" ] && [[ $name =~ ^(${entry#* }) ]]; then
      listed=yes
      used[$entry]=yes
    fi
  done
  if [ -z "$listed" ]; then
    echo "$file:$line defines ${name%?}, a member of ${home[$class]}.h: define it in ${home[$class]}.cpp, or list it in check_layers.sh and the README's code map"
    status=1
  fi
  defined=$((defined + 1))
done < <(grep -rnE --include='*.h' --include='*.cpp' "$definition" . |
  sed -E "s/^([^:]*):([0-9]+):([^(=]*[[:space:]*&])?(($classes)::[^ (=;{]*) ?([(=;{]).*\$/\1 \2 \4\6/")
for entry in "${defined_elsewhere[@]}"; do
  if [ -z "${used[$entry]:-}" ]; then
    echo "check_layers.sh lists $entry, but no such definition is there"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "the model's members are defined in their own files, and $defined of them where listed"
exit "$status"
