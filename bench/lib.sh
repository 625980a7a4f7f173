# Helpers of the benchmark scripts: interleaved timing of our command and a
# peer tool, and headless runs of one script line.
# shellcheck shell=bash

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench_program="${PELVAR_PROGRAM:-$bench_root/build/release/program/pelvar}"

# A scratch folder on the disk of $TMPDIR, removed on exit.
bench_scratch() {
  BENCH_DIR="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-bench-XXXXXX")"
  trap 'rm -rf "$BENCH_DIR"' EXIT
  mkdir -p "$BENCH_DIR/home"
  printf '[main]\n' >"$BENCH_DIR/home/pelvar.ini"
}

# Runs one process line headless; fails when the line logged a failure.
run_line() {
  printf '[process]\r\n%s\r\n' "$1" >"$BENCH_DIR/home/bench.script"
  local log
  log="$(PELVAR_HOME="$BENCH_DIR/home" "$bench_program" "$BENCH_DIR/home/bench.script" /silent)"
  [[ "$log" == 1* ]] || { echo "failed: $log" >&2; return 1; }
}

# Milliseconds taken by a command (no process is started for the clock).
time_ms() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# report NAME OURS_TIMES PEER_TIMES LIMIT: medians, the ratio and the target.
report() {
  local ours peer
  ours="$(tr ' ' '\n' <<<"$2" | grep . | median)"
  peer="$(tr ' ' '\n' <<<"$3" | grep . | median)"
  awk -v n="$1" -v o="$ours" -v p="$peer" -v l="$4" 'BEGIN {
    r = o / p
    printf "%-28s ours %9.1f ms  peer %9.1f ms  ratio %.2f (target <= %.2f) %s\n", n, o, p, r, l, (r <= l ? "ok" : "SLOW")
  }'
  echo "  runs (ms): ours$2 / peer$3"
}

# Lets the disk finish what earlier steps left to it.
settle() {
  sync
  sleep "${SETTLE_SECONDS:-2}"
}

# Runs a command, then waits until everything it wrote or freed is on disk,
# so that each tool pays for its own writes.
synced() {
  "$@"
  sync
}
