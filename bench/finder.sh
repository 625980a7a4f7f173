#!/usr/bin/env bash
# Recursive FileFinder listing of a tree of 20,000 files against
# `find TREE -iname '*.x'`, interleaved, warm cache. Target: ratio <= 1.5.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
finder="$bench_root/build/release/bench/finder_bench"
runs="${RUNS:-15}"
bench_scratch
tree="$BENCH_DIR/tree"
# 20 top folders x 20 subfolders x 50 files; half of them match.
for a in $(seq -w 1 20); do
  for b in $(seq -w 1 20); do
    d="$tree/Dir$a/sub$b"
    mkdir -p "$d"
    (cd "$d" && for f in $(seq -w 1 25); do : >"File$f.x"; : >"other$f.TXT"; done)
  done
done
count="$("$finder" "$tree" '*.x' | wc -l)"
[[ "$count" == "$(find "$tree" -iname '*.x' | wc -l)" ]] || { echo "counts differ" >&2; exit 1; }
for _ in 1 2 3; do "$finder" "$tree" '*.x' >/dev/null; find "$tree" -iname '*.x' >/dev/null; done
ours="" peer=""
for _ in $(seq "$runs"); do
  ours+=" $(time_ms "$finder" "$tree" '*.x')"
  peer+=" $(time_ms find "$tree" -iname '*.x')"
done
report "finder ($count of 20000 files)" "$ours" "$peer" 1.5
