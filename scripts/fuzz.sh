#!/usr/bin/env bash
# Runs the fuzz targets of the sanitized build one after another, each for as long as asked,
# on a corpus that grows from run to run.
#
#   scripts/fuzz.sh [--time SECONDS] [--runs N] [TARGET...] [-- LIBFUZZER-FLAG...]
#
# --time limits each target's run (default 600 s; 0: no limit), --runs its executions
# (default: no limit); the first limit reached ends it. TARGET defaults to every
# tests/fuzz/*_fuzz.cpp. New inputs join build/native-asan/tests/fuzz-corpus/TARGET, the corpus
# ctest's 30-second runs grow as well; the checked-in seeds in tests/fuzz/corpus/TARGET are
# only read. A finding is saved under build/native-asan/fuzz-findings/TARGET/ and stops the
# script with status 1. Flags after "--" go to every target as they are (-max_len=4096).
set -euo pipefail
cd "$(dirname "$0")/.."

time=600
runs=-1
targets=()
extra=()
while (($#)); do
  case "$1" in
    --time) time="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if ((${#targets[@]} == 0)); then
  for src in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

build=build/native-asan
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j "$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus="$build/tests/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  mkdir -p "$corpus" "$findings"
  log="$findings/last-run.log"
  echo "== $target: up to ${time}s, up to $runs runs; corpus $(find "$corpus" -type f | wc -l) files"
  status=0
  # One target at a time: each uses a whole core, the sanitizers another's worth of memory.
  "$build/tests/$target" -max_total_time="$time" -runs="$runs" -rss_limit_mb=2048 -timeout=10 \
    -dict=tests/fuzz/scene.dict -artifact_prefix="$findings/" -print_final_stats=1 "${extra[@]}" \
    "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "   ${executions:-?} executions, corpus now $(find "$corpus" -type f | wc -l) files, status $status"
  if ((status != 0)); then
    tail -n 40 "$log"
    echo "fuzz.sh: $target found a fault; the input is in $findings/" >&2
    exit 1
  fi
done
