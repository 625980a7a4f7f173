#!/bin/sh
# Cost of `shellexecute` of `true` against `sh -c true` started by a shell.
# Each side runs a script of N starts and an empty one; the difference,
# divided by N, is the cost of one start without the program's own start-up.
# Rounds alternate between the two sides (hyperfine, with warm-up).
#
#   bench/shellexecute.sh [build-dir] [N] [rounds]   (defaults: build/release 200 3)
set -eu
build=${1:-build/release}
n=${2:-200}
rounds=${3:-3}
pelvar=$(cd "$build/program" && pwd)/pelvar
work=$(mktemp -d /tmp/pelvar-shellexecute-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '[main]\n' > "$work/pelvar.ini"
printf '[process]\n' > "$work/empty.script"
{ printf '[process]\n'; i=0; while [ $i -lt "$n" ]; do echo 'shellexecute,1,open,true,'; i=$((i+1)); done; } > "$work/starts.script"
: > "$work/empty.sh"
{ i=0; while [ $i -lt "$n" ]; do echo 'sh -c true'; i=$((i+1)); done; } > "$work/starts.sh"

r=0
while [ $r -lt "$rounds" ]; do
  if ! hyperfine -N --warmup 3 --runs 10 --export-json "$work/round$r.json" --style none \
    "env PELVAR_HOME=$work $pelvar $work/starts.script /silent" \
    "env PELVAR_HOME=$work $pelvar $work/empty.script /silent" \
    "sh $work/starts.sh" \
    "sh $work/empty.sh" > /dev/null 2> "$work/hyperfine.err"; then
    cat "$work/hyperfine.err" >&2
    exit 1
  fi
  r=$((r+1))
done

/usr/bin/python3 - "$work" "$rounds" "$n" <<'PY'
import json, statistics, sys
work, rounds, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
ratios, ours, peer = [], [], []
for r in range(rounds):
    m = [x["median"] for x in json.load(open(f"{work}/round{r}.json"))["results"]]
    o = (m[0] - m[1]) / n
    p = (m[2] - m[3]) / n
    ours.append(o); peer.append(p); ratios.append(o / p)
print(f"shellexecute of true, {n} starts per run, {rounds} rounds (medians)")
print(f"  shellexecute: {statistics.median(ours) * 1e6:.0f} us per start")
print(f"  sh -c true:   {statistics.median(peer) * 1e6:.0f} us per start")
print(f"  time ratio shellexecute/sh: {statistics.median(ratios):.2f} (target <= 2.00)")
PY
