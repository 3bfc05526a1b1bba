#!/usr/bin/env bash
# Checks the benchmark harness itself: the data generator, the comparison of
# two runs (what it leaves out and what it must catch) and the count of
# unit-components.
#
# usage: bench/selftest.sh VELMAR_BINARY GENERATOR_BINARY
set -euo pipefail
# Map-library keys and header lines start with a literal "$".
# shellcheck disable=SC2016

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

if [ $# -ne 2 ]; then
  echo "usage: bench/selftest.sh VELMAR_BINARY GENERATOR_BINARY" >&2
  exit 2
fi
velmar=$(realpath "$1")
gen=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-selftest.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}
same() { [ "$1" = "$2" ] || { echo "  expected [$2], got [$1]"; return 1; }; }
fails() { ! "$@" >/dev/null 2>&1; }

# ---- generator ----

# Checksums of what the generator has always written for these arguments:
# old comparisons stay valid only while they hold.
"$gen" 300 7 5 legacy.vec legacy.tv
check "legacy form keeps its bytes" same "$(cksum <legacy.vec) $(cksum <legacy.tv)" "3287761010 18833 2376341670 112"
"$gen" clusters 300 7 5 named.vec named.tv
check "clusters mode equals the legacy form" cmp -s legacy.vec named.vec
"$gen" clusters 300 7 5 seeded.vec seeded.tv 5
check "another seed gives other vectors" fails cmp -s legacy.vec seeded.vec

"$gen" text 500 200 5 text.vec text.tv
"$gen" text 500 200 5 again.vec again.tv
check "text mode is deterministic" cmp -s text.vec again.vec
check "text header" same "$(head -n 4 text.vec | tr '\n' ' ')" '$TYPE vectors $XDIM 500 $YDIM 1 $VEC_DIM 200 '
check "text description names every term once" \
  same "$(tail -n +5 text.tv | awk '{ print $2 }' | sort -u | wc -l) $(tail -n 1 text.tv | cut -d' ' -f1)" "200 199"
# Every line: 200 values (zeros as "0", others with four decimals), the
# identifier docN, a few percent non-zero, length 1 up to rounding.
text_report=$(awk 'NR > 4 {
    if (NF != 201 || $201 != "doc" (NR - 5)) bad++
    sum = 0
    for (k = 1; k <= 200; k++) {
      if ($k == "0") continue
      if ($k !~ /^0\.[0-9][0-9][0-9][0-9]$|^1\.0000$/ || $k == "0.0000") bad++
      nonzero++; sum += $k * $k
    }
    if (sum < 0.995 || sum > 1.005) bad++
  } END { share = nonzero / ((NR - 4) * 200); print (bad + 0), (share > 0.01 && share < 0.1) }' text.vec)
check "text vectors: sparse, unit length, zeros as 0" same "$text_report" "0 1"
# The other formats hold the very numbers of the input-vector file.
"$gen" --format=csv clusters 300 7 5 table.csv table.tv
check "a table holds the vectors' values, identifiers first" same \
  "$(awk -F, 'NR == 1 { print; next } { for (i = 2; i <= NF; i++) printf "%s ", $i; print $1 }' table.csv | cksum)" \
  "$({ echo "id,comp0,comp1,comp2,comp3,comp4,comp5,comp6"; tail -n +5 legacy.vec; } | cksum)"
"$gen" --format=sparse text 500 200 5 text.sparse text2.tv
check "sparse lines hold the non-zero values" same "$(awk '{
    for (k = 1; k <= 200; k++) v[k] = "0"
    for (i = 2; i <= NF; i++) { split($i, p, ":"); v[p[1]] = p[2] }
    for (k = 1; k <= 200; k++) printf "%s ", v[k]
    print $1
  }' text.sparse | cksum)" "$(tail -n +5 text.vec | cksum)"
"$gen" --density=0.01 text 500 1000 5 thin.vec thin.tv
check "a density sets the share of non-zero values" same "$(awk 'NR > 4 {
    for (k = 1; k <= 1000; k++) if ($k != "0") nonzero++
  } END { share = nonzero / ((NR - 4) * 1000); print (share > 0.008 && share < 0.015) }' thin.vec)" "1"
check "rejects an unknown option" fails "$gen" --format=xls clusters 10 3 3 x.vec x.tv
check "rejects a zero count" fails "$gen" clusters 0 3 3 x.vec x.tv
check "rejects a count that is not a number" fails "$gen" text 10 3x 3 x.vec x.tv
check "rejects a missing argument" fails "$gen" text 10 3 3 x.vec
check "rejects an unknown mode" fails "$gen" spirals 10 3 3 x.vec x.tv 1
check "reports an unwritable file" fails "$gen" clusters 10 3 3 no/such/dir.vec x.tv

# ---- comparing runs ----

# Two made-up run folders that differ only where a run may differ.
fake_run() {
  mkdir -p "$1/out"
  printf 'a = b\ncalculating MQE0\n12\n%s\n\asaving out/m.wgt\n\a' "$2" >"$1/stdout"
  : >"$1/stderr"
  echo 0 >"$1/status"
  printf '$VEC_DIM 2\n$STORAGE_DATE %s\n$TRAINING_TIME %s\n$ITERATIONS_TOTAL 8\n' "$3" "$2" >"$1/out/m.mapdescr"
  printf '0.5 0.25 1_1_0/0_0/0\n' >"$1/out/m.wgt"
  printf '{\n  "hierarchy": {\n    "maps": 1,\n    "trainingSeconds": %s,\n    "mqe0": 2\n  }\n}\n' "$2" \
    >"$1/out/m_summary.json"
}
fake_run ref 1.25 "Mon Jan  1 10:00:00 2024"
fake_run run 3e-05 "Tue Jan  2 11:00:00 2024"
check "processor time, date and the summary's training time are left out" bench_compare t ref ref run run >/dev/null
check "the time line is found" same "$(bench_time_line run/stdout) $(bench_cpu_seconds run)" "4 3e-05"
check "a number elsewhere stays" same "$(bench_normal_stdout run/stdout | sed -n 3p)" "12"

differs() {  # differs WHAT EXPECTED_LINE: run/ is changed, then put back
  local out
  out=$(bench_compare t ref ref run run) && return 1
  [[ $out == *"$1"* ]] || { echo "  got: $out"; return 1; }
}
cp -r run keep
sed -i 's/0.25/0.26/' run/out/m.wgt
check "a changed weight is caught" differs "t: out/m.wgt differs"
rm -rf run && cp -r keep run
sed -i 's/"mqe0": 2/"mqe0": 3/' run/out/m_summary.json
check "any other summary line is compared" differs "t: out/m_summary.json differs"
rm -rf run && cp -r keep run
sed -i 's/^\$ITERATIONS_TOTAL 8/$ITERATIONS_TOTAL 9/' run/out/m.mapdescr
check "any other map-description line is compared" differs "t: out/m.mapdescr differs"
rm -rf run && cp -r keep run
printf '\n' >>run/stdout
check "a line end added after the last BEL is caught" differs "t: standard output differs"
rm -rf run && cp -r keep run
sed -i 's/^12$/13/' run/stdout
check "a changed number line is caught" differs "t: standard output differs"
rm -rf run && cp -r keep run
touch run/out/extra.html
check "an extra file is caught" differs "t: out/extra.html written only by run"
rm -rf run && cp -r keep run
rm run/out/m.wgt
check "a missing file is caught" differs "t: out/m.wgt written only by ref"
rm -rf run && cp -r keep run
echo 1 >run/status
check "a different exit status is caught" differs "t: exit status differs (ref 0, run 1)"
rm -rf run && cp -r keep run
echo oops >run/stderr
check "output on standard error is caught" differs "t: standard error differs"

# Real runs: the same binary twice is identical, and the count is consistent.
"$gen" clusters 400 6 8 real.vec real.tv
for side in a b; do
  bench_prepare "real-$side" real.vec real.tv real $'TAU_1=0.1\nTAU_2=0.02\nORIENTATION=true\nsaveAsCartix=true'
  bench_run "$velmar" "real-$side"
done
check "a real run compares identical with itself" bench_compare real a real-a b real-b
counted() { [[ $(bench_count real-a 2>count.err) =~ ^[1-9][0-9]*\ [1-9][0-9]*$ ]]; }
check "a real run's count is a number" counted
check "a real run's count raises no complaint" same "$(cat count.err)" ""

# ---- counting unit-components ----

# Map 1 starts 3 x 1 and trains three periods of 4 x 2 cycles (4 vectors,
# EXPAND_CYCLES=2) at 3, 6 and 8 units; map 2 (ORIENTATION: 2 x 2) trains
# two periods of 3 x 2 cycles at 4 and 6 units. With 5 components:
# (3 + 6 + 8) x 8 x 5 + (4 + 6) x 6 x 5 = 680 + 300 = 980.
mkdir -p count/out
printf 'EXPAND_CYCLES=3\nEXPAND_CYCLES=2\nINITIAL_X_SIZE=3\nINITIAL_Y_SIZE=1\nORIENTATION=true\n' >count/run.prop
cat >count/stdout <<'LOG'
EXPAND_CYCLES = 2
added MQE ; fake
added b
added c
added d
calculating MQE0
MQE: 10
..MQE ; 5, to go : 1
neuron with max MQE : 0,0
inserting row:1
..MQE ; 2, to go : 1
neuron with max MQE : 1,0
inserting column:1
..MQE ; 0.5, to go : 1
MQE: 0.5
UL: 0.100000 / 0.200000
..MQE ; 3, to go : 0.1
neuron with max MQE : 0,0
inserting column:1
..MQE ; 0.01, to go : 0.1
MQE: 0.01
1.5
LOG
printf '\asaving inserting row:1 MQE ; \n\a' >>count/stdout
describe() {  # describe GID N CYCLES X Y
  printf '$XDIM %s\n$YDIM %s\n$VEC_DIM 5\n$ITERATIONS_TOTAL %s\n$NR_TRAINVEC_TOTAL %s\n' "$4" "$5" "$3" "$2" \
    >"count/out/my_pre_$1_2_0_0.mapdescr"
}
count() { awk -v dim=5 -f "$bench_dir/unit_components.awk" count/run.prop count/stdout count/out/*.mapdescr 2>/dev/null; }
describe 2 3 12 3 2
check "count with the first map's vectors from the log" same "$(count)" "2 980"
describe 1 4 24 4 2
check "count from the map-description files" same "$(count)" "2 980"
describe 1 4 16 4 2
check "cycles that do not match the log give no count" same "$(count)" "2 -"
describe 1 4 24 4 2
sed -i 's/ORIENTATION=true/ORIENTATION=false/' count/run.prop
check "without ORIENTATION child maps start at the initial size" same "$(count)" "2 -"
sed -i 's/ORIENTATION=false/ORIENTATION=true/' count/run.prop
rm count/out/my_pre_2_2_0_0.mapdescr
check "a child map without its file gives no count" same "$(count)" "2 -"

echo "bench harness: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
