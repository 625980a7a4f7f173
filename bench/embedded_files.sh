#!/usr/bin/env bash
# Embedded files against the plain tools, measured in the same run with the
# runs of ours and of the peer interleaved (hyperfine, one run each per round):
#
#   embed    pelvar --embed of a 100 MB file     vs  pigz -z -p1 -6, then base64
#   extract  pelvar --extract-embedded of it     vs  base64 -d, then pigz -dz
#   small    extracting a tiny file beside it    vs  cat of the script
#
# Prints the median times, the ratios and our peak memory against the
# script's size. ROUNDS (default 5) rounds after one warm-up round; SIZE_MB
# (default 100) the size of the big file; DATA=random makes it incompressible
# (default: program files); PELVAR the program to measure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pelvar="${PELVAR:-$root/build/release/program/pelvar}"
rounds="${ROUNDS:-5}"
size_mb="${SIZE_MB:-100}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

if [[ "${DATA:-}" == random ]]; then
  head -c "$((size_mb * 1000000))" /dev/urandom >big.bin
else
  # Program files: realistic data that zlib shrinks to about 40 %.
  find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null |
    head -c "$((size_mb * 1000000))" >big.bin || true
fi
printf '[main]\r\ntitle=bench\r\n' >empty.script
printf 'small file\r\n' >small.txt
cp empty.script full.script
"$pelvar" --embed full.script F big.bin small.txt >/dev/null
pigz -z -p1 -6 -c big.bin >peer.zz
base64 peer.zz >peer.b64

# One round: ours then the peer, `runs` times each; the mean of each goes to
# NAME-WHO-ROUND.json.
round() {
  local name="$1" ours="$2" peer="$3" prepare="$4" runs="$5" i="$6"
  hyperfine --runs "$runs" --style none --prepare "$prepare" --export-json "$name-ours-$i.json" \
    "$ours" >/dev/null 2>&1
  hyperfine --runs "$runs" --style none --prepare "$prepare" --export-json "$name-peer-$i.json" \
    "$peer" >/dev/null 2>&1
}

measure() {
  local name="$1" ours="$2" peer="$3" prepare="$4" runs="${5:-1}"
  round "$name" "$ours" "$peer" "$prepare" "$runs" warm
  for ((i = 1; i <= rounds; i++)); do round "$name" "$ours" "$peer" "$prepare" "$runs" "$i"; done
}

measure embed "'$pelvar' --embed s.script F big.bin" \
  "pigz -z -p1 -6 -c big.bin >o.zz && base64 o.zz >o.b64" \
  "cp empty.script s.script; rm -f o.zz o.b64"
measure extract "'$pelvar' --extract-embedded full.script F big.bin out" \
  "base64 -d peer.b64 >x.zz && pigz -dz -c x.zz >x.bin" \
  "rm -rf out x.zz x.bin"
measure small "'$pelvar' --extract-embedded full.script F small.txt out" \
  "cat full.script" "rm -rf out" 20

peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
cp empty.script s.script
embed_kb=$(peak "$pelvar" --embed s.script F big.bin)
rm -rf out
extract_kb=$(peak "$pelvar" --extract-embedded full.script F big.bin out)
cmp -s out/big.bin big.bin || { echo "extracted file differs" >&2; exit 1; }
script_kb=$(($(stat -c %s full.script) / 1024))

python3 - "$rounds" "$embed_kb" "$extract_kb" "$script_kb" <<'PY'
import json, statistics, sys
rounds, embed_kb, extract_kb, script_kb = (int(a) for a in sys.argv[1:])
def t(name, who):
    return statistics.median(
        json.load(open(f"{name}-{who}-{i}.json"))["results"][0]["mean"] for i in range(1, rounds + 1))
limits = {"embed": 1.3, "extract": 2.0, "small": 1.5}
for name, limit in limits.items():
    ours, peer = t(name, "ours"), t(name, "peer")
    print(f"{name:8s} ours {ours:8.3f} s  peer {peer:8.3f} s  ratio {ours / peer:5.2f}  (target <= {limit})")
budget = script_kb + 64 * 1024
print(f"peak memory: embed {embed_kb // 1024} MB, extract {extract_kb // 1024} MB; "
      f"script {script_kb // 1024} MB, budget {budget // 1024} MB")
PY
