#!/usr/bin/env bash
# A batch of 8 levels of about 20 MB (copies of one generated level, so that they share every
# texture file, as levels of one project do): pallix-export --jobs 2 --out-dir against exporting
# them one after the other, wall-clock time in the same run (target: the batch at most 0.6 times
# the sequence on a 2-core machine). Each way runs ROUNDS times (default 3), alternating, and the
# best time of each counts.
#   bench/batch_bench.sh [ROUNDS] [LEVELS] [MB]
set -euo pipefail
rounds=${1:-3}
levels=${2:-8}
mb=${3:-20}
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target pallix-export pallix-scenegen >/dev/null
bin=$PWD/build/native-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scenes=()
"$bin/pallix-scenegen" --size "$mb" --seed 7 --out "$work/level1.xml" --textures "$work/tex/"
for i in $(seq 1 "$levels"); do
  [ "$i" -eq 1 ] || cp "$work/level1.xml" "$work/level$i.xml"
  scenes+=("$work/level$i.xml")
done
now() { date +%s%N; }
# cpu VAR: CPU time (user + system, ms) of every finished child of this shell so far, into VAR
# (times runs in this shell: in a command substitution it would see the subshell's children).
cpu() {
  times >"$work/times"
  printf -v "$1" '%s' "$(awk 'END { split($1, u, "m"); split($2, s, "m"); printf "%d", (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000 }' "$work/times")"
}
best_one=0 best_batch=0 cpu_one=0 cpu_batch=0
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/one" "$work/batch"
  mkdir -p "$work/one"
  cpu c0
  start=$(now)
  for scene in "${scenes[@]}"; do
    name=$(basename "$scene" .xml)
    "$bin/pallix-export" --quiet --textures-from "$work/tex" "$scene" "$work/one/$name.mesh"
  done
  one=$(($(now) - start))
  cpu c1
  start=$(now)
  "$bin/pallix-export" --quiet --textures-from "$work/tex" --jobs 2 --out-dir "$work/batch" "${scenes[@]}"
  batch=$(($(now) - start))
  cpu c2
  # The batch must write exactly what the runs one by one wrote.
  diff -r "$work/one" "$work/batch" >/dev/null || { echo "batch_bench: the batch wrote other files" >&2; exit 1; }
  echo "round $round: one by one $((one / 1000000)) ms wall, $((c1 - c0)) ms CPU;" \
    "--jobs 2 $((batch / 1000000)) ms wall, $((c2 - c1)) ms CPU" >&2
  if [ $best_one -eq 0 ] || [ $one -lt $best_one ]; then best_one=$one cpu_one=$((c1 - c0)); fi
  if [ $best_batch -eq 0 ] || [ $batch -lt $best_batch ]; then best_batch=$batch cpu_batch=$((c2 - c1)); fi
done
ratio=$(awk -v b="$best_batch" -v o="$best_one" 'BEGIN { printf "%.2f", b / o }')
size=$(du -cm "${scenes[@]}" | tail -1 | cut -f1)
echo "| levels | one by one: wall / CPU | --jobs 2: wall / CPU | wall ratio (target <= 0.6) | processors | load |"
echo "|---|---|---|---|---|---|"
printf '| %d x %d MB (%d MB) | %.2f / %.2f s | %.2f / %.2f s | %s | %d | %s |\n' "$levels" "$mb" "$size" \
  "$(awk -v n="$best_one" 'BEGIN { print n / 1e9 }')" "$(awk -v n="$cpu_one" 'BEGIN { print n / 1e3 }')" \
  "$(awk -v n="$best_batch" 'BEGIN { print n / 1e9 }')" "$(awk -v n="$cpu_batch" 'BEGIN { print n / 1e3 }')" \
  "$ratio" "$(nproc)" "$(cut -d' ' -f1 /proc/loadavg)"
awk -v r="$ratio" 'BEGIN { exit !(r <= 0.6) }'
