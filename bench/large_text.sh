#!/usr/bin/env bash
# One txtreplace over a sparse text file larger than 2 GiB (SIZE_MIB,
# default 2,368): a line "Alpha N" every 64 MiB and "Alpha last" at the end,
# NUL bytes between them. The result must equal `sed -i` on a copy, byte for
# byte and in size: nothing is cut at 2 GiB or 4 GiB. Prints both times.
# Needs twice the size free (the results are not sparse) on the disk of
# $TMPDIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
size_mib="${SIZE_MIB:-2368}"
bench_scratch
big="$BENCH_DIR/big.txt"
python3 - "$big" "$size_mib" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2]) << 20
step = 64 << 20
with open(path, "wb") as f:
    for i, at in enumerate(range(0, size, step)):
        f.seek(at)
        f.write(f"Alpha {i}\r\n".encode())
    # The file ends with a line end, so that the result keeps its size.
    f.seek(size - 12)
    f.write(b"Alpha last\r\n")
PY
size="$(stat -c %s "$big")"
echo "sparse file: $size bytes, $(du -k "$big" | cut -f1) KiB on disk" >&2
cp --sparse=always "$big" "$BENCH_DIR/peer.txt"
ms_ours="$(time_ms run_line "txtreplace,1,\"$big\",Alpha,Omega")"
ms_peer="$(time_ms sed -i 's/Alpha/Omega/g' "$BENCH_DIR/peer.txt")"
[[ "$(stat -c %s "$big")" == "$size" ]] || { echo "size changed: $(stat -c %s "$big")" >&2; exit 1; }
cmp "$big" "$BENCH_DIR/peer.txt" || { echo "results differ" >&2; exit 1; }
last="$(tail -c $((64 << 20)) "$big" | tr -d '\0')"
echo "txtreplace on $size bytes: ours ${ms_ours} ms, sed -i ${ms_peer} ms; same bytes and size;" \
  "last line: ${last//$'\r\n'/}"
