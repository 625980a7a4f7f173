#!/usr/bin/env bash
# pelvar --make-iso of a tree of 2,000 files (1 GB by default) with stand-in
# BIOS and UEFI boot files, against `xorriso -as mkisofs` with the same
# options on the same tree: ISO 9660 level 3, Joliet with long UTF-16 names,
# deep folders, the two boot entries, the catalogue hidden. Both pay for the
# same durability: Pelvar flushes the image and its folder before it renames
# the image into place, so the peer's timing ends with `sync FILE FOLDER`.
# Pelvar's timing also holds its reading back and comparing of the image.
# Each measurement is one hyperfine run; the tools alternate, and the one
# that goes first alternates too, after one warm-up run of each.
# Target: ratio <= 1.1.
# Usage: bench/make_iso.sh [BUILD_DIR]   (default build/release)
#        TREE_MB=200 RUNS=5 bench/make_iso.sh   (a smaller tree, more runs)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="${1:-$bench_root/build/release}"
pelvar="$build/program/pelvar"
runs="${RUNS:-3}"
tree_mb="${TREE_MB:-1000}"
command -v hyperfine >/dev/null || { echo "hyperfine is missing (scripts/setup.sh)" >&2; exit 2; }
command -v xorriso >/dev/null || { echo "xorriso is missing (scripts/setup.sh)" >&2; exit 2; }
bench_scratch
tree="$BENCH_DIR/tree"
out="$BENCH_DIR/out"
mkdir -p "$out"
python3 - "$tree" "$tree_mb" <<'PY'
import os, random, sys
root, megabytes = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
files = 2000
average = megabytes * 1_000_000 // files
block = os.urandom(2 * average + 1)
total = 0
os.makedirs(os.path.join(root, "boot"))
os.makedirs(os.path.join(root, "efi", "microsoft", "boot"))
with open(os.path.join(root, "boot", "etfsboot.com"), "wb") as f:
    f.write(os.urandom(4096))
with open(os.path.join(root, "efi", "microsoft", "boot", "efisys.bin"), "wb") as f:
    f.write(os.urandom(1474560))
for n in range(files - 2):
    d = os.path.join(root, "sources", f"Folder {n // 100:02}", f"Sub {n % 10}")
    os.makedirs(d, exist_ok=True)
    size = rng.randint(1, 2 * average)
    total += size
    with open(os.path.join(d, f"Component file {n:04} with a long name.bin"), "wb") as f:
        f.write(block[:size])
print(f"tree: {files} files, {total / 1e6:.0f} MB", file=sys.stderr)
PY
sync

ours_cmd="PELVAR_HOME='$BENCH_DIR/home' '$pelvar' --make-iso '/TargetDir=$tree' \
'/IsoFile=$out/ours.iso' /Label=BENCH >/dev/null"
peer_cmd="xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -joliet-utf16 -D -V BENCH \
-b boot/etfsboot.com -no-emul-boot -boot-load-size 8 -eltorito-alt-boot \
-e efi/microsoft/boot/efisys.bin -no-emul-boot --boot-catalog-hide \
-o '$out/peer.iso' '$tree' && sync '$out/peer.iso' '$out'"

# One hyperfine run of a command; prints its time in milliseconds.
measure() {
  local json="$BENCH_DIR/run.json"
  rm -f "$out"/*.iso
  cat "$tree"/*/*/* "$tree"/*/*/*/* >/dev/null 2>&1 || true  # the tree in the page cache
  settle
  hyperfine --runs 1 --style none --export-json "$json" "$1" >/dev/null
  python3 -c 'import json, sys; print(round(json.load(open(sys.argv[1]))["results"][0]["mean"] * 1000, 1))' \
    "$json"
}

measure "$ours_cmd" >/dev/null  # warm-up, not counted
measure "$peer_cmd" >/dev/null
ours="" peer=""
for i in $(seq "$runs"); do
  if ((i % 2)); then
    ours+=" $(measure "$ours_cmd")"
    peer+=" $(measure "$peer_cmd")"
  else
    peer+=" $(measure "$peer_cmd")"
    ours+=" $(measure "$ours_cmd")"
  fi
done
# Both images hold the same boot entries (their block addresses may differ).
eval "$ours_cmd"
eval "$peer_cmd"
echo "image sizes: ours $(stat -c %s "$out/ours.iso") bytes, peer $(stat -c %s "$out/peer.iso") bytes"
entries() {
  xorriso -indev "$1" -report_el_torito plain 2>/dev/null | grep -v catalog | awk '/boot img/ { NF-- } 1'
}
diff <(entries "$out/ours.iso") <(entries "$out/peer.iso") >&2 || echo "the boot entries differ" >&2
report "make-iso (2000 files, ${tree_mb} MB)" "$ours" "$peer" 1.1
