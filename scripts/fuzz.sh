#!/usr/bin/env bash
# Runs every libFuzzer target (or those named) on a working copy of its
# checked-in corpus, each for PELVAR_FUZZ_SECONDS (default 1800) with
# PELVAR_FUZZ_JOBS targets at a time (default 1), and prints per target the
# executions, coverage, corpus size and whether it crashed. A crash leaves
# its input in build/fuzz/findings/<target>/; add it to the corpus and a test.
#
#   scripts/fuzz.sh                  # all targets, 30 minutes each
#   PELVAR_FUZZ_SECONDS=14400 scripts/fuzz.sh line_path
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${PELVAR_FUZZ_SECONDS:-1800}"
jobs="${PELVAR_FUZZ_JOBS:-1}"
# A unit slower than this (wall clock) counts as a hang; raise it on a
# machine busy with other work.
timeout="${PELVAR_FUZZ_TIMEOUT:-20}"
all=(archive_reader base64_text line_path ini_round_trip integer_text mask_matcher hive_image)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")

if [[ ! -f build/fuzz/build.ninja ]]; then
  flags="-fsanitize=fuzzer-no-link,address,undefined"
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELVAR_FUZZ=ON -DPELVAR_BUILD_UI=OFF \
    -DPELVAR_BUILD_TESTS=OFF -DPELVAR_BUILD_BENCH=OFF \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
fi
cmake --build build/fuzz --target "${targets[@]/%/_fuzz}"

run_one() {
  local target="$1" work="build/fuzz/work/$1" findings="build/fuzz/findings/$1"
  mkdir -p "$work" "$findings"
  cp -n "tests/fuzz/corpus/$target/"* "$work/" 2>/dev/null || true
  [[ "$target" != hive_image ]] || cp -n tests/data/hives/*.hiv "$work/"
  local log="build/fuzz/$target.log" status=0
  "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout="$timeout" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" >"$log" 2>&1 || status=$?
  local runs cov corpus
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo '?')"
  corpus="$(find "$work" -type f | wc -l)"
  if [[ $status -eq 0 ]]; then
    echo "$target: ${seconds}s, $runs executions, coverage $cov edges, corpus $corpus, crashes 0"
  else
    echo "$target: FAILED after $runs executions (see $log and $findings)"
    return 1
  fi
}

failed=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" || failed=1 &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
exit "$failed"
