#!/usr/bin/env bash
# One check-mark click of the script editor on a script that carries SIZE_MB
# (default 70) of embedded data, against `sed -i` of the same line and
# `sync -f` (the editor's write is durable before it returns). Each toggles
# the flag of the third command of its own copy, back and forth; the runs of
# ours and of the peer are interleaved (hyperfine, one run each per round,
# after a warm-up round). Prints the medians and their ratio.
# Target: ratio <= 2.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tool="${TOOL:-$root/build/release/bench/editor_toggle_bench}"
pelvar="${PELVAR:-$root/build/release/program/pelvar}"
rounds="${ROUNDS:-7}"
size_mb="${SIZE_MB:-70}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c "$((size_mb * 1000000))" /dev/urandom >big.bin
printf '; Bench script\r\n[main]\r\ntitle = bench\r\n\r\n[process]\r\n; the commands\r\n' >s.script
for i in 1 2 3 4 5; do printf 'echo,1,line %s\r\n' "$i" >>s.script; done
"$pelvar" --embed s.script F big.bin >/dev/null
# The line of the third command, for sed.
line="$(grep -n '^echo,1,line 3' s.script | cut -d: -f1)"
[[ -n "$line" ]] || { echo "unexpected layout" >&2; exit 1; }
cp s.script ours.script
cp s.script peer.script
echo "script: $(stat -c %s s.script) bytes" >&2

round() {
  hyperfine --runs 1 --style none --export-json "ours-$1.json" \
    "'$tool' ours.script 2" >/dev/null 2>&1
  hyperfine --runs 1 --style none --export-json "peer-$1.json" \
    "sed -i -e '${line}s/^echo,1,/echo,0,/;t' -e '${line}s/^echo,0,/echo,1,/' peer.script && sync -f peer.script" \
    >/dev/null 2>&1
}
round warm
for ((i = 1; i <= rounds; i++)); do round "$i"; done
cmp -s ours.script peer.script || { echo "results differ" >&2; exit 1; }

python3 - "$rounds" "$size_mb" <<'PY'
import json, statistics, sys
rounds, size_mb = int(sys.argv[1]), sys.argv[2]
def t(who):
    return statistics.median(
        json.load(open(f"{who}-{i}.json"))["results"][0]["mean"] for i in range(1, rounds + 1))
ours, peer = t("ours"), t("peer")
print(f"toggle ({size_mb} MB embedded)  ours {ours * 1000:8.1f} ms  peer {peer * 1000:8.1f} ms  "
      f"ratio {ours / peer:5.2f}  (target <= 2)")
PY
