#!/usr/bin/env bash
# pelvar --check of a script against a headless run of the same script with
# every line disabled (the run reads, expands and splits each line and does
# nothing else), at 1,000 and 100,000 lines. Target: ratio <= 2.
# Usage: bench/check.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
pelvar="$build/program/pelvar"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
home="$work/home"
mkdir -p "$home"
printf '[main]\r\ntargetdir=/build/target\r\nsourcedir=/build/source\r\nisofile=/build/x.iso\r\n' \
  >"$home/pelvar.ini"

# A script of N lines that cycles through real-looking commands; FLAG is
# the run flag of every line.
make_script() {
  local n=$1 flag=$2
  python3 - "$n" "$flag" <<'PY'
import sys
n, flag = int(sys.argv[1]), sys.argv[2]
lines = [
    'filecopy,{f},"%sourcedir%\\I386\\file{i}.dll","%targetdir%\\I386\\file{i}.dll"',
    'iniwritekey,{f},"%targetdir%\\setup.ini",Files,key{i},"%setupdir%\\value{i}"',
    'regwritestring,{f},HKEY_LOCAL_MACHINE,SOFTWARE\\Vendor\\Item{i},Path,"%programfilesdir%\\x"',
    'txtaddline,{f},"%targetdir%\\list.txt","entry {i}",append',
    'echo,{f},"step {i} of the build"',
    'dirmake,{f},"%targetdir%\\folder{i}"',
]
out = ['[main]', 'title=Bench', '[variables]', '%setupdir%=%targetdir%\\setup', '[process]']
for i in range(n):
    out.append(lines[i % len(lines)].format(f=flag, i=i))
sys.stdout.write('\r\n'.join(out) + '\r\n')
PY
}

ratio() { python3 -c "import json; r=[x['mean'] for x in json.load(open('$1'))['results']]; print(f'check {r[0]*1000:.1f} ms vs disabled run {r[1]*1000:.1f} ms: ratio {r[0]/r[1]:.2f} (target <= 2)')"; }

for n in 1000 100000; do
  make_script "$n" 1 >"$work/on-$n.script"
  make_script "$n" 0 >"$work/off-$n.script"
  echo "== $n lines"
  env PELVAR_HOME="$home" "$pelvar" --check "$work/on-$n.script" | tail -1
  hyperfine -N -w 2 -r 10 --export-json "$work/r-$n.json" \
    "env PELVAR_HOME=$home $pelvar --check $work/on-$n.script" \
    "env PELVAR_HOME=$home $pelvar $work/off-$n.script /silent" -i --output=null >/dev/null
  ratio "$work/r-$n.json"
done
