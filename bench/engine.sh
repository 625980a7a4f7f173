#!/usr/bin/env bash
# Engine benchmarks, each a ratio against a peer measured in the same run:
#  1. one WriteIniKey on a 1 MB, 20,000-line file vs `cat a > b`
#  2. reading keys 0..24999 of a 100 MB section vs loading the file once,
#     and the peak memory of that against the file size
#  3. a headless run of 100,000 echo lines (and of 100,000 disabled lines)
#     vs bash running 100,000 `echo x` lines, output to /dev/null
# Usage: bench/engine.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
tool="$build/bench/ini_tool_bench"
pelvar="$build/program/pelvar"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

ratio() { python3 -c "import json,sys; r={x['command']:x['mean'] for x in json.load(open('$1'))['results']}; a,b=list(r.values()); print(f'{a*1000:.2f} ms vs {b*1000:.2f} ms: ratio {a/b:.2f}')"; }

echo "== 1. WriteIniKey of a 1 MB, 20,000-line file vs cat a > b"
"$tool" make-ini "$work/a.ini" 20000 1000000 2>/dev/null
cp "$work/a.ini" "$work/w.ini"
hyperfine -N -w 5 -r 40 --export-json "$work/r1.json" \
  "$tool write $work/w.ini section20 key10000 changed" \
  "sh -c 'cat $work/a.ini > $work/b.ini'" >/dev/null
ratio "$work/r1.json"

echo "== 2. keys 0..24999 of a 100 MB section vs one load"
"$tool" make-keys "$work/k.ini" 25000 4090 2>/dev/null
cat "$work/k.ini" >/dev/null
hyperfine -N -w 2 -r 8 --export-json "$work/r2.json" \
  "$tool read-keys $work/k.ini EncodedFile-Data-big.bin 25000" \
  "$tool load $work/k.ini" >/dev/null
ratio "$work/r2.json"
size_kib=$(( $(stat -c %s "$work/k.ini") / 1024 ))
peak=$("$tool" read-keys "$work/k.ini" EncodedFile-Data-big.bin 25000 2>&1 | sed -n 's/peak_kib=//p')
python3 -c "print(f'peak memory {$peak/1024:.0f} MiB for a {$size_kib/1024:.0f} MiB file: {$peak/$size_kib:.2f}x')"

echo "== 3. 100,000 echo lines headless vs bash"
home="$work/home"; mkdir -p "$home"; printf '[main]\r\n' > "$home/pelvar.ini"
{ printf '[process]\r\n'; for i in $(seq 100000); do printf 'echo,1,x\r\n'; done; } > "$work/echo.script"
{ printf '[process]\r\n'; for i in $(seq 100000); do printf 'echo,0,x\r\n'; done; } > "$work/off.script"
for i in $(seq 100000); do echo 'echo x'; done > "$work/echo.sh"
hyperfine -N -w 2 -r 10 --export-json "$work/r3.json" \
  "env PELVAR_HOME=$home $pelvar $work/echo.script /silent" \
  "bash $work/echo.sh" --output=null >/dev/null
ratio "$work/r3.json"
hyperfine -N -w 2 -r 10 --export-json "$work/r4.json" \
  "env PELVAR_HOME=$home $pelvar $work/off.script /silent" \
  "bash $work/echo.sh" --output=null >/dev/null
ratio "$work/r4.json"
