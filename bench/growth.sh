#!/usr/bin/env bash
# Growth table: for each job, time and peak memory at three or four sizes
# spanning 100x or more, beside a peer doing the same work in the same run.
# A path that is not linear shows as a ratio that grows with the size; a
# path that does not stream shows as memory that grows with it.
#
# Each cell is the median of ROUNDS (default 3) interleaved runs of ours and
# the peer after one warm-up run of each; both are timed the same way
# (GNU time: wall seconds and peak resident memory), and neither starts
# a process the other does not. Peers:
#
#   embed-many   pelvar --embed of N small files  | tar | pigz -p1 | base64 of them
#   embed        pelvar --embed of one file       | pigz -p1 -6, then base64
#   extract      pelvar --extract-embedded of it  | base64 -d, then pigz -d
#   catalogue    pelvar --batch of a folder with a one-echo script that
#                carries a big embedded file        | sed reading its main section
#   hive-writes  pelvar run of 50 regwritestring into a mounted hive
#                (committed once, synced)           | cp of the hive + sync
#   iniwritekey  pelvar run writing one key of an INI file of N keys
#                (written whole, synced)            | sed -i of that key + sync
#   finder       pelvar run of a filedelete mask over N files in one folder
#                (listed, sorted and deleted)        | find -delete of them
#   script-lines pelvar run of a script of N echo lines | bash running N `:` lines
#
# SIZES_MB (default "4 40 400") are the sizes of the embedded files; the
# other jobs scale by the same factors. PELVAR: the program to measure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pelvar="${PELVAR:-$root/build/release/program/pelvar}"
pelvar_reg="$(dirname "$pelvar")/pelvar-reg"
rounds="${ROUNDS:-3}"
read -r -a sizes <<<"${SIZES_MB:-4 40 400}"
hives="${HIVES:-$root/../shared/data/hives}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-growth-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p home
printf '[main]\r\n' >home/pelvar.ini
export PELVAR_HOME="$work/home" PELVAR_REGISTRY="$work/home/registry.db"

# Seconds and peak KiB of one command, as "S K".
timed() {
  /usr/bin/time -f '%e %M' -o "$work/time.out" bash -c "$1" >/dev/null 2>&1 ||
    { echo "failed: $1" >&2; exit 1; }
  cat "$work/time.out"
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-13s %12s %10s %9s %10s %9s %7s\n' job size ours_s ours_MiB peer_s peer_MiB ratio

# row JOB SIZE OURS PEER PREPARE: interleaved runs, medians, one table row.
row() {
  local job="$1" size="$2" ours="$3" peer="$4" prepare="$5"
  local ot=() om=() pt=() pm=() t m i
  for ((i = 0; i <= rounds; i++)); do
    bash -c "$prepare"
    read -r t m < <(timed "$ours")
    ((i > 0)) && ot+=("$t") && om+=("$m")
    bash -c "$prepare"
    read -r t m < <(timed "$peer")
    ((i > 0)) && pt+=("$t") && pm+=("$m")
  done
  local a b c d
  a="$(printf '%s\n' "${ot[@]}" | median)"
  b="$(printf '%s\n' "${om[@]}" | median)"
  c="$(printf '%s\n' "${pt[@]}" | median)"
  d="$(printf '%s\n' "${pm[@]}" | median)"
  awk -v j="$job" -v s="$size" -v a="$a" -v b="$b" -v c="$c" -v d="$d" 'BEGIN {
    printf "%-13s %12s %10.2f %9.1f %10.2f %9.1f %7.2f\n", j, s, a, b / 1024, c, d / 1024, (c > 0 ? a / c : 0)
  }'
}

run_script() { echo "'$pelvar' '$1' /silent"; }

# --embed of many small files in one call.
for n in 30 300 3000; do
  rm -rf many && mkdir many
  for ((i = 0; i < n; i++)); do head -c 2000 /dev/urandom >"many/f$i.bin"; done
  printf '[main]\r\ntitle=t\r\n' >base.script
  row embed-many "$n files" "'$pelvar' --embed m.script F many/*" \
    "tar -cf - many | pigz -p1 | base64 >m.b64" "cp base.script m.script; rm -f m.b64"
done

# One big file embedded and extracted; a script carrying it in the catalogue.
for mb in "${sizes[@]}"; do
  find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null |
    head -c "$((mb * 1000000))" >big.bin || true
  printf '[main]\r\ntitle=t\r\n' >base.script
  row embed "$mb MB" "'$pelvar' --embed e.script F big.bin" \
    "pigz -p1 -6 -z -c big.bin >e.zz && base64 e.zz >e.b64" "cp base.script e.script; rm -f e.zz e.b64"
  cp base.script full.script
  "$pelvar" --embed full.script F big.bin >/dev/null
  pigz -p1 -6 -z -c big.bin | base64 >full.b64
  row extract "$mb MB" "'$pelvar' --extract-embedded full.script F big.bin out" \
    "base64 -d full.b64 | pigz -dz >x.bin" "rm -rf out x.bin"
  mkdir -p home/Scripts
  { printf '[main]\r\ntitle=t\r\nselected=true\r\n[process]\r\necho,1,x\r\n'; tail -n +3 full.script; } \
    >home/Scripts/big.script
  row catalogue "$mb MB" "'$pelvar' --batch '$work/home/Scripts'" \
    "sed -n '/^\\[main\\]/,/^\\[/p;/^\\[process\\]/q' home/Scripts/big.script" "true"
  rm -rf home/Scripts big.bin full.script full.b64
done

# 50 writes into mounted hives from 32 KB to 16 MB.
for h in BCD NTUSER.DAT SYSTEM; do
  script="$work/hive.script"
  printf '[process]\r\n' >"$script"
  key="Bench"
  [[ "$h" == BCD ]] && key="Description\\Bench"
  for ((i = 0; i < 50; i++)); do
    printf 'regwritestring,1,HKEY_LOCAL_MACHINE,GROWTH\\%s,v%d,x\r\n' "$key" "$i" >>"$script"
  done
  prepare="cp '$hives/$h' '$work/$h'; chmod u+w '$work/$h'; rm -f '$PELVAR_REGISTRY'*; '$pelvar_reg' load 'HKLM\\GROWTH' '$work/$h'; rm -f copy.hiv; sync"
  row hive-writes "$(stat -c %s "$hives/$h") B" "$(run_script "$script")" \
    "cp '$work/$h' copy.hiv && sync copy.hiv" "$prepare"
done

# One key written into INI files of 10k, 100k and 1M keys.
for n in 10000 100000 1000000; do
  awk -v n="$n" 'BEGIN { printf "[s]\r\n"; for (i = 0; i < n; i++) printf "k%d=v%d\r\n", i, i }' >ini.src
  printf '[process]\r\niniwritekey,1,%s,s,k%d,new\r\n' "$work/t.ini" "$((n / 2))" >ini.script
  row iniwritekey "$n keys" "$(run_script "$work/ini.script")" \
    "sed -i 's/^k$((n / 2))=.*/k$((n / 2))=new\\r/' t.ini && sync t.ini" "cp ini.src t.ini"
done

# A sorted mask listing over 1k, 10k and 100k files of one folder, each
# match deleted.
for n in 1000 10000 100000; do
  printf '[process]\r\nfiledelete,1,%s\\*.txt\r\n' "$work/tree" >find.script
  row finder "$n files" "$(run_script "$work/find.script")" \
    "find tree -name '*.txt' -delete" \
    "rm -rf tree; mkdir tree; cd tree && seq -f 'file%.0f.txt' 1 $n | xargs touch"
done
rm -rf tree

# Scripts of 10k, 100k and 1M lines.
for n in 10000 100000 1000000; do
  awk -v n="$n" 'BEGIN { printf "[process]\r\n"; for (i = 0; i < n; i++) printf "echo,0,line %d\r\n", i }' \
    >lines.script
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf ": line %d\n", i }' >lines.sh
  row script-lines "$n lines" "$(run_script "$work/lines.script")" "bash lines.sh" "true"
done
