#!/usr/bin/env bash
# Checks that every C++ file of src/, tests/, fuzz/, bench/ and python/ is
# formatted as .clang-format says, and lists the files that are not (with
# what clang-format would change). Formatting differs between clang-format
# versions, so the check runs with the version the sources were formatted
# with (14, Debian 12's) and is skipped, saying so, with any other
# (VELMAR_REQUIRE_FORMAT=1: fails instead).
set -euo pipefail
cd "$(dirname "$0")/../.."

want=14
formatter=${CLANG_FORMAT:-}
for candidate in "$formatter" clang-format-$want clang-format; do
  if [ -n "$candidate" ] && command -v "$candidate" >/dev/null 2>&1; then
    version=$("$candidate" --version)
    if [[ $version == *"version $want."* ]]; then
      formatter=$candidate
      break
    fi
  fi
  formatter=
done
if [ -z "$formatter" ]; then
  echo "check_format: skipped, clang-format $want not found"
  [ "${VELMAR_REQUIRE_FORMAT:-0}" = 1 ] && exit 1
  exit 0
fi

mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h' \
  'bench/*.cpp' 'bench/*.h' 'python/*.cpp' 'python/*.h')
status=0
# One call for all (quick); file by file only to name the ones that differ.
if ! "$formatter" --dry-run -Werror "${files[@]}" 2>/dev/null; then
  for file in "${files[@]}"; do
    if ! "$formatter" --dry-run -Werror "$file" 2>/dev/null; then
      echo "not formatted: $file"
      "$formatter" "$file" | diff -u "$file" - | head -20 || true
      status=1
    fi
  done
fi
if [ "$status" -eq 0 ]; then
  echo "every C++ file is formatted as .clang-format says"
else
  echo "run: clang-format -i FILE (clang-format $want) on the files above"
fi
exit "$status"
