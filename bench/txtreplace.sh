#!/usr/bin/env bash
# txtreplace over a 50 MB text file against `sed -i 's/A/B/g'` on a copy of
# the same file, runs interleaved and alternating which goes first.
# Target: ratio <= 1.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
runs="${RUNS:-7}"
bench_scratch
text="$BENCH_DIR/text.txt"
python3 - "$text" <<'PY'
import random, sys
rng = random.Random(3)
words = ["Alpha", "beta", "GAMMA", "delta", "A", "epsilon", "zeta", "Apple", "eta", "theta"]
lines, size = [], 0
while size < 50_000_000:
    line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 14)))
    lines.append(line)
    size += len(line) + 2
open(sys.argv[1], "w", newline="\r\n").write("\n".join(lines) + "\n")
PY
ours() {
  cp "$text" "$BENCH_DIR/ours.txt"
  ours+=" $(time_ms run_line "txtreplace,1,\"$BENCH_DIR/ours.txt\",A,B")"
}
peer() {
  cp "$text" "$BENCH_DIR/peer.txt"
  peer+=" $(time_ms sed -i 's/A/B/g' "$BENCH_DIR/peer.txt")"
}
ours="" peer=""
ours
peer
cmp "$BENCH_DIR/ours.txt" "$BENCH_DIR/peer.txt" || { echo "results differ" >&2; exit 1; }
ours="" peer=""
for i in $(seq "$runs"); do
  if ((i % 2)); then ours; peer; else peer; ours; fi
done
report "txtreplace (50 MB)" "$ours" "$peer" 1.0
