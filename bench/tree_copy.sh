#!/usr/bin/env bash
# dircopy of a tree of 20,000 files / 1 GB against `cp -r`, then dirdelete of
# the copies against `rm -rf`, on the same disk. Runs are interleaved, the
# tool that goes first alternates, and every copy is made before anything is
# deleted (after a mass delete new files are slow to create for minutes).
# Each timing includes a sync: the disk is mounted with discard, and freed or
# written blocks would otherwise weigh on whatever runs next.
# Targets: copy ratio <= 1.2, delete ratio <= 1.2.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
runs="${RUNS:-3}"
bench_scratch
tree="$BENCH_DIR/tree"
python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1)
block = os.urandom(1 << 17)
total = 0
for a in range(20):
    for b in range(20):
        d = os.path.join(root, f"Dir{a:02}", f"sub{b:02}")
        os.makedirs(d)
        for f in range(50):
            size = rng.randint(4096, 100 * 1024)
            total += size
            with open(os.path.join(d, f"file{f:02}.bin"), "wb") as out:
                out.write(block[:size])
print(f"tree: 20000 files, {total / 1e9:.2f} GB", file=sys.stderr)
PY
sync
copy_ours() {
  cat "$tree"/*/*/* >/dev/null  # the source back in the page cache
  settle
  copy_ours+=" $(time_ms synced run_line "dircopy,1,\"$tree\",\"$BENCH_DIR/ours$1\"")"
}
copy_peer() {
  cat "$tree"/*/*/* >/dev/null
  settle
  copy_peer+=" $(time_ms synced cp -r "$tree" "$BENCH_DIR/peer$1")"
}
# Each tool deletes a copy made by the other one, its inodes read first
# (du) so that the timing holds the deletion and not cold reads.
delete_ours() {
  du -s "$BENCH_DIR/peer$1" >/dev/null
  settle
  delete_ours+=" $(time_ms synced run_line "dirdelete,1,\"$BENCH_DIR/peer$1\"")"
}
delete_peer() {
  du -s "$BENCH_DIR/ours$1" >/dev/null
  settle
  delete_peer+=" $(time_ms synced rm -rf "$BENCH_DIR/ours$1")"
}

copy_ours="" copy_peer="" delete_ours="" delete_peer=""
copy_ours 0
copy_peer 0  # warm-up, not counted
copy_ours="" copy_peer=""
for i in $(seq "$runs"); do
  if ((i % 2)); then copy_ours "$i"; copy_peer "$i"; else copy_peer "$i"; copy_ours "$i"; fi
done
diff -r "$tree" "$BENCH_DIR/ours1" >/dev/null || { echo "copy differs" >&2; exit 1; }
delete_ours 0
delete_peer 0  # warm-up: the first deletion after many writes is slow
delete_ours="" delete_peer=""
for i in $(seq "$runs"); do
  if ((i % 2)); then delete_ours "$i"; delete_peer "$i"; else delete_peer "$i"; delete_ours "$i"; fi
done
report "dircopy (20000 files, 1 GB)" "$copy_ours" "$copy_peer" 1.2
report "dirdelete (20000 files)" "$delete_ours" "$delete_peer" 1.2
