#!/usr/bin/env bash
# txtreplace over a text file of SIZE_MB (default 50) against
# `sed -i 's/A/B/g'` and `sync -f` on a copy of the same file (ours flushes
# the file and its folder before it reports success, so the peer flushes
# too), runs interleaved and alternating which goes first. A big size needs
# room for four copies of the file on the disk of $TMPDIR.
# Target: ratio <= 1.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
runs="${RUNS:-7}"
size_mb="${SIZE_MB:-50}"
bench_scratch
text="$BENCH_DIR/text.txt"
# 50 MB of lines, repeated up to the size.
python3 - "$text" "$size_mb" <<'PY'
import random, sys
rng = random.Random(3)
words = ["Alpha", "beta", "GAMMA", "delta", "A", "epsilon", "zeta", "Apple", "eta", "theta"]
lines, size = [], 0
while size < min(50, int(sys.argv[2])) * 1_000_000:
    line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 14)))
    lines.append(line)
    size += len(line) + 2
block = ("\r\n".join(lines) + "\r\n").encode()
with open(sys.argv[1], "wb") as out:
    for _ in range(max(1, int(sys.argv[2]) // 50)):
        out.write(block)
PY
echo "text: $(stat -c %s "$text") bytes" >&2
replace_peer() {
  sed -i 's/A/B/g' "$1" && sync -f "$1"
}
ours() {
  cp "$text" "$BENCH_DIR/ours.txt"
  settle
  ours+=" $(time_ms run_line "txtreplace,1,\"$BENCH_DIR/ours.txt\",A,B")"
}
peer() {
  cp "$text" "$BENCH_DIR/peer.txt"
  settle
  peer+=" $(time_ms replace_peer "$BENCH_DIR/peer.txt")"
}
ours="" peer=""
ours
peer
cmp "$BENCH_DIR/ours.txt" "$BENCH_DIR/peer.txt" || { echo "results differ" >&2; exit 1; }
ours="" peer=""
for i in $(seq "$runs"); do
  if ((i % 2)); then ours; peer; else peer; ours; fi
done
report "txtreplace ($size_mb MB)" "$ours" "$peer" 1.0
