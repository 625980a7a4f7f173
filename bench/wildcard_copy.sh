#!/usr/bin/env bash
# filecopy of a wildcard, `filecopy,1,%sourcedir%\*.txt,%targetdir%`, against
# `cp SRC/*.txt DST/ && sync -f DST`, at several folder sizes (default 1,000,
# 5,000, 20,000 and 50,000 small .txt files, beside a tenth as many other
# files the mask must skip). Both sides flush the destination file system
# once (ours when the command ends), so durability is the same; neither
# starts a process for the clock. Per size: one warm-up of each, then RUNS
# interleaved runs alternating which goes first; the copies of a size are
# all made before any is deleted. Prints the medians, the ratio and the time
# per file, which should not grow with the folder. Needs room for 2 x RUNS
# + 3 copies of every size on the disk of $TMPDIR.
# Target: ratio <= 1.5 at 20,000 files.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
runs="${RUNS:-3}"
read -r -a sizes <<<"${SIZES:-1000 5000 20000 50000}"
bench_scratch
cd "$BENCH_DIR"

# Ours, run headless with the source and target folders of the line.
copy_ours() {
  printf '[process]\r\nfilecopy,1,%%sourcedir%%\\*.txt,%%targetdir%%\r\n' >home/bench.script
  local log
  log="$(PELVAR_HOME="$BENCH_DIR/home" "$bench_program" "$BENCH_DIR/home/bench.script" /silent \
    "/SourceDir=$BENCH_DIR/$1" "/TargetDir=$BENCH_DIR/$2")"
  [[ "$log" == 1* ]] || { echo "failed: $log" >&2; return 1; }
}
# The peer: the shell expands the mask (relative names keep the argument
# list short), cp copies, sync flushes the destination's file system.
copy_peer() {
  cp "$1"/*.txt "$2/" && sync -f "$2"
}

# Every source folder is made first and nothing is deleted until the end:
# after a mass delete the file system is slow to create files for a while.
for n in "${sizes[@]}"; do
  python3 - "src$n" "$n" <<'PY'
import os, random, sys
root, n = sys.argv[1], int(sys.argv[2])
os.makedirs(root)
rng = random.Random(n)
text = ("Lorem ipsum dolor sit amet, consectetur adipiscing elit.\r\n" * 80).encode()
for i in range(n):
    with open(os.path.join(root, f"f{i:05}.txt"), "wb") as f:
        f.write(text[: rng.randint(200, 4000)])
for i in range(n // 10):
    with open(os.path.join(root, f"f{i:05}.bin"), "wb") as f:
        f.write(text[:500])
PY
done
settle

table=()
for n in "${sizes[@]}"; do
  ours="" peer=""
  for i in $(seq 0 "$runs"); do
    mkdir "ours$n-$i" "peer$n-$i"
    cat "src$n"/* >/dev/null  # the source in the page cache
    if ((i % 2)); then
      o="$(time_ms copy_ours "src$n" "ours$n-$i")"
      p="$(time_ms copy_peer "src$n" "peer$n-$i")"
    else
      p="$(time_ms copy_peer "src$n" "peer$n-$i")"
      o="$(time_ms copy_ours "src$n" "ours$n-$i")"
    fi
    if ((i > 0)); then ours+=" $o" peer+=" $p"; fi  # run 0 warms up
  done
  [[ "$(find "ours$n-1" -type f | wc -l)" == "$n" ]] || { echo "wrong file count" >&2; exit 1; }
  diff -r "ours$n-1" "peer$n-1" >/dev/null || { echo "the copies differ" >&2; exit 1; }
  report "filecopy *.txt ($n files)" "$ours" "$peer" 1.5
  om="$(tr ' ' '\n' <<<"$ours" | grep . | median)"
  pm="$(tr ' ' '\n' <<<"$peer" | grep . | median)"
  table+=("$(awk -v n="$n" -v o="$om" -v p="$pm" \
    'BEGIN { printf "%7d files  ours %7.1f us/file  peer %7.1f us/file  ratio %.2f", n, o * 1000 / n, p * 1000 / n, o / p }')")
done
echo "time per file:"
printf '  %s\n' "${table[@]}"
