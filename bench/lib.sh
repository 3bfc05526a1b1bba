# shellcheck shell=bash
# Shared by run.sh, compare.sh and selftest.sh (sourced, not run): building
# binaries, caching generated data sets, running the trainer in a fresh
# folder, and comparing two runs byte for byte apart from the processor time
# and the date.
#
# A run folder holds run.prop, links to its data files, out/ (the savePath of
# every workload) and, after bench_run: stdout, stderr, status (exit status),
# wall_ns (wall time in nanoseconds) and peak_kb (peak resident memory in KiB,
# "-" when /usr/bin/time is missing).

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench_jobs=${JOBS:-2}

# bench_build_dir ROOT: the build folder of the tree at ROOT (BUILD_DIR, by
# default ROOT/build-bench), made if missing, as an absolute path.
bench_build_dir() {
  local dir=${BUILD_DIR:-$1/build-bench}
  mkdir -p "$dir" && cd "$dir" && pwd
}

# bench_build SOURCE BUILD BENCH_SWITCH TARGET...
# Release build without tests; BENCH_SWITCH (ON or OFF) says whether the
# benchmark targets are configured. Further CMake arguments can be given in
# the array bench_cmake_args. Quiet unless something fails.
bench_cmake_args=()
bench_build() {
  local src=$1 build=$2 bench=$3 log
  shift 3
  mkdir -p "$build"
  log=$build/bench-build.log
  if ! { cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF -DVELMAR_BENCH="$bench" \
    ${bench_cmake_args[@]+"${bench_cmake_args[@]}"} &&
    cmake --build "$build" -j "$bench_jobs" --target "$@"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "build of $src in $build failed (whole log: $log)" >&2
    return 1
  fi
}

# bench_revision_binary REPO REV CACHE
# Prints the path of a trainer built from revision REV of REPO. The revision
# is checked out into a temporary worktree, built like the current tree and
# the worktree removed again; the binary is kept under CACHE, keyed by the
# full commit hash (and the cap ISA, when not avx512), so later runs against
# the same revision skip the build.
bench_revision_binary() {
  local repo=$1 rev=$2 cache=$3 hash tmp status=0
  if ! hash=$(git -C "$repo" rev-parse --verify --quiet "$rev^{commit}"); then
    echo "unknown revision: $rev" >&2
    return 1
  fi
  # Built with the same cap of its kernels as the current tree (a revision
  # without the option builds its widest), each cap cached on its own.
  local isa=${ISA:-avx512} dir=$hash
  [ "$isa" != avx512 ] && dir=$hash-$isa
  if [ -x "$cache/$dir/velmar" ]; then
    echo "using the cached build of $rev ($dir)" >&2
    echo "$cache/$dir/velmar"
    return 0
  fi
  echo "building $rev ($hash) in a temporary worktree ..." >&2
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmar-rev.XXXXXX")
  git -C "$repo" worktree add --detach "$tmp/src" "$hash" >/dev/null 2>&1 || status=1
  if [ "$status" -eq 0 ]; then
    bench_cmake_args=(-DVELMAR_MAX_ISA="$isa")
    bench_build "$tmp/src" "$tmp/build" OFF velmar || status=1
    bench_cmake_args=()
  fi
  if [ "$status" -eq 0 ]; then
    mkdir -p "$cache/$dir"
    cp "$tmp/build/velmar" "$cache/$dir/velmar.part" && mv "$cache/$dir/velmar.part" "$cache/$dir/velmar"
  fi
  git -C "$repo" worktree remove --force "$tmp/src" >/dev/null 2>&1 || true
  rm -rf "$tmp"
  git -C "$repo" worktree prune >/dev/null 2>&1 || true
  if [ "$status" -ne 0 ]; then
    echo "could not build revision $rev" >&2
    return 1
  fi
  echo "$cache/$dir/velmar"
}

# bench_binaries ROOT BUILD REV
# Builds the tree at ROOT into BUILD (release, the benchmark targets too, the
# kernels capped at ISA when set) and sets new (its trainer) and generator;
# with a revision REV also old, that revision's trainer (see
# bench_revision_binary), else old is empty.
# shellcheck disable=SC2034 # the variables are the caller's
bench_binaries() {
  local root=$1 build=$2 rev=$3
  echo "building the current tree in $build ..." >&2
  bench_cmake_args=(-DVELMAR_MAX_ISA="${ISA:-avx512}")
  bench_build "$root" "$build" ON velmar velmar_bench_data
  bench_cmake_args=()
  new=$build/velmar
  generator=$build/bench/velmar_bench_data
  old=
  if [ -n "$rev" ]; then
    old=$(bench_revision_binary "$root" "$rev" "$build/revisions")
  fi
}

# bench_busy_start N: keeps N more processes busy (each a shell loop) until
# bench_busy_stop; bench_cleanup stops them too.
bench_busy_pids=()
bench_busy_start() {
  local b
  for ((b = 0; b < $1; b++)); do
    bash -c 'while :; do :; done' &
    bench_busy_pids+=($!)
  done
}
bench_busy_stop() {
  if [ "${#bench_busy_pids[@]}" -gt 0 ]; then
    kill "${bench_busy_pids[@]}" 2>/dev/null || true
    wait "${bench_busy_pids[@]}" 2>/dev/null || true
  fi
  bench_busy_pids=()
}

# bench_cleanup WORK KEEP: the exit trap of a script with the run folders in
# WORK: stops the busy processes, then removes WORK unless KEEP is set.
bench_cleanup() {
  bench_busy_stop
  if [ -n "$2" ]; then
    echo "run folders kept in $1" >&2
  else
    rm -rf "$1"
  fi
}

# bench_dataset GENERATOR CACHE MODE VECTORS COMPONENTS GROUPS [SEED [DENSITY]]
# Prints a folder holding data.vec and data.tv as the generator writes them
# for these arguments. Each set is written once and kept under CACHE, keyed by
# its arguments and by a checksum of the generator's source (a changed
# generator writes new sets); a set is moved into place only when complete.
bench_dataset() {
  local generator=$1 cache=$2 source_sum key dir
  shift 2
  source_sum=$(cksum <"$bench_dir/gen_data.cpp" | cut -d' ' -f1)
  key=$(printf '%s-' "$@")$source_sum
  dir=$cache/$key
  if [ ! -f "$dir/data.tv" ]; then
    echo "generating data set $* ..." >&2
    rm -rf "$dir.part"
    mkdir -p "$dir.part"
    "$generator" "$1" "$2" "$3" "$4" "$dir.part/data.vec" "$dir.part/data.tv" "${@:5}"
    rm -rf "$dir"
    mv "$dir.part" "$dir"
  fi
  echo "$dir"
}

# bench_workload NAME: sets data (generator arguments) and props (settings
# beyond the input files and savePath=out) of a workload; props is "map" for
# the map command's workloads. Fails for an unknown name.
# shellcheck disable=SC2034 # the variables are the caller's
bench_workload() {
  case $1 in
    default-5k)
      data="clusters 5000 50 50"
      props="saveAsCartix=true" ;;
    text-20k)
      data="text 20000 300 8"
      props=$'TAU_1=0.07\nTAU_2=0.02\nsaveAsCartix=true' ;;
    text-20k-summary)
      bench_workload text-20k
      props+=$'\nsaveSummary=true' ;;
    text-manual)
      data="text 2700 5000 20 20240601 2"
      props=$'normInputVectors=LENGTH\nTAU_1=0.1\nTAU_2=0.03\nsaveAsCartix=true' ;;
    text-5k)
      data="text 10000 5000 20 20240601 1"
      props=$'TAU_1=0.07\nTAU_2=0.02\nsaveAsCartix=true' ;;
    orient-deep)
      data="clusters 10000 30 60"
      props=$'ORIENTATION=true\nTAU_1=0.1\nTAU_2=0.01\nsaveAsCartix=true' ;;
    load-1m)
      data="clusters 1000000 20 50"
      props=$'EXPAND_CYCLES=1\nMAX_CYCLES=1\nTAU_2=1000\nsaveAsHTML=false' ;;
    series-10k | series-20k | series-40k)
      local thousands=${1#series-}
      data="clusters $((${thousands%k} * 1000)) 50 50"
      props=$'TAU_1=0.1\nTAU_2=0.05\nsaveAsCartix=true' ;;
    map-1m | map-4m)
      local millions=${1#map-}
      data="clusters $((${millions%m} * 1000000)) 20 50"
      props=map ;;
    *) return 1 ;;
  esac
}

# bench_prepare DIR VECFILE DESCRFILE NAME PROPERTIES
# A fresh run folder: the data linked in as NAME.vec and NAME.tv, an empty
# out/ and run.prop made of the inputFile, descriptionFile and savePath lines
# followed by PROPERTIES (one key=value per line).
bench_prepare() {
  local dir=$1 vec=$2 descr=$3 name=$4 props=$5
  rm -rf "$dir"
  mkdir -p "$dir/out"
  ln -s "$(realpath "$vec")" "$dir/$name.vec"
  ln -s "$(realpath "$descr")" "$dir/$name.tv"
  {
    printf 'inputFile=%s.vec\ndescriptionFile=%s.tv\nsavePath=out\n' "$name" "$name"
    [ -n "$props" ] && printf '%s\n' "$props"
  } >"$dir/run.prop"
}

# bench_run BINARY DIR
# Runs BINARY on DIR/run.prop inside DIR; always succeeds, the exit status
# is kept in DIR/status.
bench_run() {
  bench_run_args "$1" "$2" run.prop
}

# bench_run_args BINARY DIR ARG...
# Runs BINARY with the arguments inside DIR, standard output and error into
# DIR/stdout and DIR/stderr; always succeeds, the exit status is kept in
# DIR/status, the wall time in DIR/wall_ns and the peak memory in DIR/peak_kb.
bench_run_args() {
  local binary=$1 dir=$2 start stop status=0
  shift 2
  start=$(date +%s%N)
  if [ -x /usr/bin/time ]; then
    (cd "$dir" && /usr/bin/time -f %M -o peak.time "$binary" "$@" >stdout 2>stderr) || status=$?
    # On failure the file starts with a note about the exit status; the
    # number is its last line.
    tail -n 1 "$dir/peak.time" >"$dir/peak_kb"
    rm -f "$dir/peak.time"
  else
    (cd "$dir" && "$binary" "$@" >stdout 2>stderr) || status=$?
    echo - >"$dir/peak_kb"
  fi
  stop=$(date +%s%N)
  echo "$status" >"$dir/status"
  echo $((stop - start)) >"$dir/wall_ns"
}

# Line number of the processor-time line of a standard output: the line right
# before the first BEL character, when it holds only a number; 0 otherwise.
bench_time_line() {
  local bel prev
  bel=$(grep -a -n -m 1 $'\a' "$1" | cut -d: -f1) || true
  if [ -z "$bel" ] || [ "$bel" -lt 2 ]; then
    echo 0
    return
  fi
  prev=$(sed -n "$((bel - 1))p" "$1")
  if [[ $prev =~ ^[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?$ ]]; then
    echo $((bel - 1))
  else
    echo 0
  fi
}

# Processor seconds of a run (its processor-time line), or nothing.
bench_cpu_seconds() {
  local line
  line=$(bench_time_line "$1/stdout")
  [ "$line" -gt 0 ] && sed -n "${line}p" "$1/stdout"
  return 0
}

# Standard output without the processor-time line, and without the lines
# that match the extended regular expression bench_ignored_lines when that is
# set (threads.sh: the echo of the threads setting); every other byte, a
# missing final line end included, is kept.
bench_ignored_lines=
bench_normal_stdout() {
  local line
  line=$(bench_time_line "$1")
  if [ "$line" -gt 0 ]; then
    sed "${line}d" "$1"
  else
    cat "$1"
  fi | if [ -n "$bench_ignored_lines" ]; then sed -E "/$bench_ignored_lines/d"; else cat; fi
}

# An output file as compared: map-description files lose their storage-date
# and training-time lines, the overview page its training-time row, the
# summary its training-time member, every other file is taken as it is.
bench_normal_file() {
  # shellcheck disable=SC2016 # the $ is a literal
  case $1 in
    *.mapdescr) sed '/^\$STORAGE_DATE /d; /^\$TRAINING_TIME /d' "$1" ;;
    *_overview.html) sed 's|<tr><th>Training time</th><td>[^<]*</td></tr>|<tr><th>Training time</th><td>-</td></tr>|' "$1" ;;
    *_summary.json) sed 's|^    "trainingSeconds": [^,]*,$|    "trainingSeconds": -,|' "$1" ;;
    *) cat "$1" ;;
  esac
}

# bench_differ FILE_A FILE_B NAME_A NAME_B
# Succeeds when the two files are equal; otherwise prints where they first
# differ (the files called by their names) and fails.
bench_differ() {
  local message
  message=$(LC_ALL=C cmp -- "$1" "$2" 2>&1) && return 1
  message=${message#cmp: }
  message=${message#* differ: }
  message=${message//"$1"/$3}
  message=${message//"$2"/$4}
  echo "$message"
}

# bench_without_folder DIR
# Copies standard input to standard output with every mention of the folder
# DIR written as RUN.
bench_without_folder() {
  awk -v folder="$1" '{ out = ""; while ((i = index($0, folder)) > 0) { out = out substr($0, 1, i - 1) "RUN"; $0 = substr($0, i + length(folder)) } print out $0 }'
}

# bench_compare LABEL REF_NAME REF_DIR NAME DIR
# Compares two run folders: exit status, standard output (normalised),
# standard error (its mentions of the run folders left out) and every file
# under out/ (normalised). Prints one line per difference, each starting
# with LABEL, and returns 1 if there is any.
bench_compare() {
  local label=$1 ref_name=$2 ref=$3 name=$4 dir=$5 differ=0 f where
  if ! cmp -s "$ref/status" "$dir/status"; then
    echo "$label: exit status differs ($ref_name $(cat "$ref/status"), $name $(cat "$dir/status"))"
    differ=1
  fi
  bench_normal_stdout "$ref/stdout" >"$ref/stdout.normal"
  bench_normal_stdout "$dir/stdout" >"$dir/stdout.normal"
  if where=$(bench_differ "$ref/stdout.normal" "$dir/stdout.normal" "$ref_name" "$name"); then
    echo "$label: standard output differs ($where; processor-time line left out)"
    differ=1
  fi
  # A message may name a file of the run's own folder: that folder is left out.
  if ! cmp -s <(bench_without_folder "$ref" <"$ref/stderr") <(bench_without_folder "$dir" <"$dir/stderr"); then
    echo "$label: standard error differs"
    differ=1
  fi
  while IFS= read -r f; do
    if [ ! -e "$ref/out/$f" ]; then
      echo "$label: out/$f written only by $name"
      differ=1
    elif [ ! -e "$dir/out/$f" ]; then
      echo "$label: out/$f written only by $ref_name"
      differ=1
    else
      if where=$(bench_differ <(bench_normal_file "$ref/out/$f") <(bench_normal_file "$dir/out/$f") \
        "$ref_name" "$name"); then
        echo "$label: out/$f differs ($where)"
        differ=1
      fi
    fi
  done < <({ (cd "$ref/out" && find . -type f) && (cd "$dir/out" && find . -type f); } | sed 's|^\./||' | LC_ALL=C sort -u)
  return "$differ"
}

# bench_count DIR
# Prints "MAPS UNIT_COMPONENTS" for a run: the number of maps trained and the
# units x components its winner searches of training visited ("-" when the
# map-library files needed for that are missing).
bench_count() {
  local dir=$1 dim f descriptions=()
  dim=$(sed -n '4s/^[^ ]* //p' "$dir"/*.vec | head -n 1)
  for f in "$dir"/out/*.mapdescr; do
    [ -e "$f" ] && descriptions+=("$f")
  done
  awk -v dim="$dim" -f "$bench_dir/unit_components.awk" "$dir/run.prop" "$dir/stdout" ${descriptions[@]+"${descriptions[@]}"}
}
