#!/usr/bin/env bash
# Growth table: for each job, time and peak memory at three or four sizes
# spanning 100x or more, beside a peer doing the same work in the same run.
# A path that is not linear shows as a ratio that grows with the size; a
# path that does not stream shows as memory that grows with it.
#
# Each cell is the median of ROUNDS (default 3) interleaved runs of ours and
# the peer after one warm-up run of each; both are timed the same way
# (GNU time: wall seconds and peak resident memory), both sync what they
# write when ours does, and neither starts a process the other does not.
# A file rewritten in place of an old one is durable only with its folder
# (the rename): ours syncs both, so the peers that rewrite with sed -i sync
# the file and its folder too ("sync F .").
# Jobs and peers (target: ratio of times; memory where given):
#
#   embed-many    pelvar --embed of N small files    | tar | pigz -p1 | base64, sync   <= 1.5
#   embed         pelvar --embed of one file (all
#                 cores compress)                    | pigz -6 on all cores, base64,
#                                                      sync                            <= 1.0, 64 MiB
#   extract       pelvar --extract-embedded of it    | base64 -d | pigz -d, sync       <= 1.0, 64 MiB
#   extract-all   a script's extractallfiles of a
#                 folder of three files of SIZE/3
#                 each, embedded in another script   | per file: base64 -d | pigz -d,
#                                                      sync                            <= 1.0, 64 MiB
#   catalogue     pelvar --batch of a folder with a one-echo script and,
#                 not selected, a script that carries
#                 the big embedded file              | sed reading both main sections  <= 1.5, 64 MiB
#   run-beside    pelvar --batch of the one-echo script that itself
#                 carries the big embedded file (a
#                 run reads the whole file, as the
#                 sections it runs may stand anywhere) | grep of its section headers     <= 1.5, 64 MiB
#   txtaddline    prepend one line to a text file    | sed -i '1i', sync F .           <= 1.0, 64 MiB
#   txtreplace    replace a word on every line       | sed -i 's///g', sync F .        <= 1.0, 64 MiB
#   txtdelline    delete one line in ten             | sed -i '/^/d', sync F .         <= 1.0, 64 MiB
#   hive-write    one regwritestring into a mounted
#                 hive (committed, synced)           | cp of the hive, sync F .        <= 1.5
#   iniwritekey   one key of an INI file of N keys
#                 (written whole, synced)            | sed -i of that key, sync F .    <= 1.5
#   variables     a script of N [variables] and N
#                 enabled echo lines each using one  | bash: N assignments, N echo uses <= 1.5
#   finder        recursive mask listing of a tree
#                 (bench/finder_bench)               | find -iname                     <= 1.5
#   script-lines  a script of N enabled echo lines   | bash running N echo lines       <= 1.5
#   reg-export    pelvar-reg export of a store of N
#                 keys (four values each; written
#                 whole and synced)                  | sqlite3 .dump of the same store,
#                                                      sync F .                        <= 1.0, 64 MiB
#   dry-run       pelvar --dry-run of a script of N
#                 enabled echo lines (no registry
#                 commands)                          | a headless run of the same script <= 1.0
#   filedelete    filedelete of a mask matching N
#                 files of 2N in one folder          | find -maxdepth 1 -name -delete  <= 1.0
#
# SIZES_MB (default "10 100 1000") are the sizes of the embedded files and
# TEXT_MB (default "5 50 500") those of the text files; the other jobs have
# their sizes in the script. JOBS (default all) picks jobs by name.
# PELVAR: the program to measure (default: the release build's). The big
# hive (113 MB) is made from SYSTEM by bench/hive_growth_bench.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pelvar="${PELVAR:-$root/build/release/program/pelvar}"
bench_bin="$(dirname "$pelvar")/../bench"
pelvar_reg="$(dirname "$pelvar")/pelvar-reg"
rounds="${ROUNDS:-3}"
read -r -a sizes <<<"${SIZES_MB:-10 100 1000}"
read -r -a text_sizes <<<"${TEXT_MB:-5 50 500}"
jobs="${JOBS:-embed-many embed extract extract-all catalogue run-beside txtaddline txtreplace txtdelline hive-write iniwritekey variables finder script-lines reg-export dry-run filedelete}"
hives="${HIVES:-$root/tests/data/hives}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-growth-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p home target
# Paths that pass the batch's checks.
printf '[main]\r\ntargetdir=%s/target\r\nsourcedir=%s\r\nisofile=%s/x.iso\r\nlog=0\r\nLastUsedFolder=Scripts\r\n' \
  "$work" "$work" "$work" >home/pelvar.ini
export PELVAR_HOME="$work/home" PELVAR_REGISTRY="$work/home/registry.db"

want() { [[ " $jobs " == *" $1 "* ]]; }

# Seconds and peak KiB of one command, as "S K" (GNU time gives the
# memory; the clock of the shell, the time to a microsecond).
timed() {
  local t0 t1
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/time.out" bash -c "$1" >/dev/null 2>&1 ||
    { echo "failed: $1" >&2; exit 1; }
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" -v m="$(tail -n 1 "$work/time.out")" 'BEGIN { printf "%.4f %d\n", b - a, m }'
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
    printf "%-13s %12s %10.3f %9.1f %10.3f %9.1f %7.2f\n", j, s, a, b / 1024, c, d / 1024, (c > 0 ? a / c : 0)
  }'
}

run_script() { echo "'$pelvar' '$1' /silent"; }

# --embed of many small files in one call.
if want embed-many; then
  for n in 30 100 1000 3000; do
    rm -rf many && mkdir many
    for ((i = 0; i < n; i++)); do head -c 2000 /dev/urandom >"many/f$i.bin"; done
    printf '[main]\r\ntitle=t\r\n' >base.script
    row embed-many "$n files" "'$pelvar' --embed m.script F many/*" \
      "tar -cf - many | pigz -p1 | base64 >m.b64 && sync m.b64" "cp base.script m.script; rm -f m.b64"
  done
  rm -rf many
fi

# One big file embedded and extracted; a script carrying it in the catalogue.
if want embed || want extract || want catalogue || want run-beside; then
  for mb in "${sizes[@]}"; do
    find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null |
      head -c "$((mb * 1000000))" >big.bin || true
    printf '[main]\r\ntitle=t\r\n' >base.script
    want embed && row embed "$mb MB" "'$pelvar' --embed e.script F big.bin" \
      "pigz -6 -z -c big.bin >e.zz && base64 e.zz >e.b64 && sync e.b64" \
      "cp base.script e.script; rm -f e.zz e.b64"
    cp base.script full.script
    "$pelvar" --embed full.script F big.bin >/dev/null
    pigz -p1 -6 -z -c big.bin | base64 >full.b64
    want extract && row extract "$mb MB" "'$pelvar' --extract-embedded full.script F big.bin out" \
      "base64 -d full.b64 | pigz -dz >x.bin && sync x.bin" "rm -rf out x.bin"
    mkdir -p home/Scripts
    # The big script is made once; its selection is switched in place
    # ("true" and "none" are as long).
    { printf '[main]\r\ntitle=t\r\nselected=none\r\n[process]\r\necho,1,x\r\n'; tail -n +3 full.script; } \
      >home/Scripts/big.script
    select_big() { printf '%s' "$1" | dd of=home/Scripts/big.script bs=1 seek=26 conv=notrunc status=none; }
    printf '[main]\r\ntitle=e\r\nselected=true\r\n[process]\r\necho,1,x\r\n' >home/Scripts/echo.script
    main_of="sed -n '/^\\[main\\]/,/^\\[/p;/^\\[process\\]/q'"
    want catalogue && row catalogue "$mb MB" "'$pelvar' --batch '$work/home/Scripts'" \
      "$main_of home/Scripts/echo.script && $main_of home/Scripts/big.script" "true"
    rm home/Scripts/echo.script
    select_big true
    # grep's output goes to a file: writing to /dev/null, it stops at the
    # first match.
    want run-beside && row run-beside "$mb MB" "'$pelvar' --batch '$work/home/Scripts'" \
      "grep -c '^\\[' home/Scripts/big.script >headers.txt" "true"
    rm -rf home/Scripts big.bin full.script full.b64 out x.bin e.script e.zz e.b64 headers.txt
  done
fi

# Three files embedded in one script, extracted by a line of another.
if want extract-all; then
  for mb in "${sizes[@]}"; do
    find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null |
      head -c "$((mb * 1000000))" >big.bin || true
    rm -rf parts && mkdir parts && (cd parts && split -n 3 -d ../big.bin f && rm ../big.bin)
    printf '[main]\r\ntitle=t\r\n' >all.script
    "$pelvar" --embed all.script F parts/f00 parts/f01 parts/f02 >/dev/null
    peer=""
    for f in f00 f01 f02; do
      pigz -p1 -6 -z -c "parts/$f" | base64 >"$f.b64"
      peer+="base64 -d $f.b64 | pigz -dz >out/$f && sync out/$f && "
    done
    printf '[main]\r\ntitle=x\r\n[process]\r\nextractallfiles,1,%s/all.script,F,%s/out\r\n' \
      "$work" "$work" >x.script
    row extract-all "$mb MB" "$(run_script "$work/x.script")" "${peer}true" \
      "rm -rf out && mkdir out"
    rm -rf parts out all.script x.script f0?.b64
  done
fi

# Text files of 30-byte lines; one line in ten begins with "drop".
for job in txtaddline txtreplace txtdelline; do
  want "$job" || continue
  for mb in "${text_sizes[@]}"; do
    awk -v n="$((mb * 1000000 / 30))" 'BEGIN {
      for (i = 0; i < n; i++) printf "%s line %09d of AAA text\n", (i % 10 ? "keep" : "drop"), i
    }' >text.src
    case "$job" in
      txtaddline)
        line="txtaddline,1,$work/t.txt,\"first line\",prepend"
        peer="sed -i '1i first line' t.txt && sync t.txt ." ;;
      txtreplace)
        line="txtreplace,1,$work/t.txt,AAA,BBBB"
        peer="sed -i 's/AAA/BBBB/g' t.txt && sync t.txt ." ;;
      txtdelline)
        line="txtdelline,1,$work/t.txt,drop"
        peer="sed -i '/^drop/d' t.txt && sync t.txt ." ;;
    esac
    printf '[process]\r\n%s\r\n' "$line" >text.script
    row "$job" "$mb MB" "$(run_script "$work/text.script")" "$peer" "cp text.src t.txt"
  done
  rm -f text.src t.txt
done

# One write into mounted hives of 0.8, 16 and 113 MB.
if want hive-write; then
  "$bench_bin/hive_growth_bench" make-big "$work/BIG.hiv" 113 >/dev/null
  printf '[process]\r\nregwritestring,1,HKEY_LOCAL_MACHINE,GROWTH\\Bench,v,x\r\n' >hive.script
  for h in "$hives/NTUSER.DAT" "$hives/SYSTEM" "$work/BIG.hiv"; do
    name="$(basename "$h")"
    prepare="cp '$h' '$work/m-$name'; chmod u+w '$work/m-$name'; rm -f '$PELVAR_REGISTRY'*; '$pelvar_reg' load 'HKLM\\GROWTH' '$work/m-$name' >/dev/null; rm -f copy.hiv; sync"
    row hive-write "$(stat -c %s "$h") B" "$(run_script "$work/hive.script")" \
      "cp '$work/m-$name' copy.hiv && sync copy.hiv ." "$prepare"
    rm -f "$work/m-$name" copy.hiv
  done
  rm -f "$work/BIG.hiv"
fi

# One key written into INI files of 1k to 1M keys.
if want iniwritekey; then
  for n in 1000 10000 100000 1000000; do
    awk -v n="$n" 'BEGIN { printf "[s]\r\n"; for (i = 0; i < n; i++) printf "k%d=v%d\r\n", i, i }' >ini.src
    printf '[process]\r\niniwritekey,1,%s,s,k%d,new\r\n' "$work/t.ini" "$((n / 2))" >ini.script
    row iniwritekey "$n keys" "$(run_script "$work/ini.script")" \
      "sed -i 's/^k$((n / 2))=.*/k$((n / 2))=new\\r/' t.ini && sync t.ini ." "cp ini.src t.ini"
  done
  rm -f ini.src t.ini
fi

# Scripts of N variables and N echo lines, each using one of them.
if want variables; then
  for n in 1000 10000 100000; do
    awk -v n="$n" 'BEGIN {
      printf "[variables]\r\n"; for (i = 0; i < n; i++) printf "%%v%d%%=value %d\r\n", i, i
      printf "[process]\r\n"; for (i = 0; i < n; i++) printf "echo,1,is %%v%d%%\r\n", i
    }' >vars.script
    awk -v n="$n" 'BEGIN {
      for (i = 0; i < n; i++) printf "v%d=\"value %d\"\n", i, i
      for (i = 0; i < n; i++) printf "echo \"is $v%d\"\n", i
    }' >vars.sh
    row variables "$n vars" "$(run_script "$work/vars.script")" "bash vars.sh" "true"
  done
  rm -f vars.script vars.sh
fi

# A recursive mask listing over trees of 2k to 200k files, half matching.
if want finder; then
  for n in 2000 20000 200000; do
    rm -rf tree
    folders=$((n / 100))
    for ((a = 0; a < folders; a++)); do
      mkdir -p "tree/Dir$a/sub"
      (cd "tree/Dir$a/sub" && for ((f = 0; f < 50; f++)); do : >"File$f.x"; : >"other$f.TXT"; done)
    done
    row finder "$n files" "'$bench_bin/finder_bench' '$work/tree' '*.x'" \
      "find '$work/tree' -iname '*.x'" "true"
  done
  rm -rf tree
fi

# Scripts of 10k, 100k and 1M lines.
if want script-lines; then
  for n in 10000 100000 1000000; do
    awk -v n="$n" 'BEGIN { printf "[process]\r\n"; for (i = 0; i < n; i++) printf "echo,1,line %d\r\n", i }' \
      >lines.script
    awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "echo line %d\n", i }' >lines.sh
    row script-lines "$n lines" "$(run_script "$work/lines.script")" "bash lines.sh" "true"
  done
fi

# A store of N keys (in 100 groups, four values each) exported whole.
if want reg-export; then
  for n in 2000 20000 200000; do
    awk -v n="$n" 'BEGIN {
      printf "Windows Registry Editor Version 5.00\r\n\r\n"
      for (k = 0; k < n; k++) {
        printf "[HKEY_CURRENT_USER\\Software\\Export\\Group%d\\Key%d]\r\n", k % 100, k
        printf "\"Name\"=\"value number %d of the export benchmark\"\r\n", k
        printf "\"Path\"=\"C:\\\\Program Files\\\\Vendor\\\\App%d\\\\bin\"\r\n", k
        printf "\"Count\"=dword:%08x\r\n", k
        printf "\"Data\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n\r\n"
      }
    }' >export.reg
    rm -f "$PELVAR_REGISTRY"*
    "$pelvar_reg" import export.reg >/dev/null
    row reg-export "$n keys" "'$pelvar_reg' export 'HKCU\\Software\\Export' out.reg /y" \
      "sqlite3 '$PELVAR_REGISTRY' .dump >out.sql && sync out.sql ." "rm -f out.reg out.sql"
  done
  rm -f export.reg out.reg out.sql "$PELVAR_REGISTRY"*
fi

# A dry run of a script of N enabled echo lines, against a real run of it.
if want dry-run; then
  for n in 10000 100000 1000000; do
    awk -v n="$n" 'BEGIN { printf "[process]\r\n"; for (i = 0; i < n; i++) printf "echo,1,line %d\r\n", i }' \
      >dry.script
    row dry-run "$n lines" "'$pelvar' --dry-run '$work/dry.script'" "$(run_script "$work/dry.script")" \
      "rm -f '$PELVAR_REGISTRY'*"
  done
  rm -f dry.script
fi

# filedelete of a mask matching half of the files of one folder.
if want filedelete; then
  for n in 300 3000 30000; do
    rm -rf del.src && mkdir del.src
    (cd del.src && for ((f = 0; f < n; f++)); do : >"File$f.x"; : >"other$f.txt"; done)
    printf '[process]\r\nfiledelete,1,%s\\*.x\r\n' "$work/del" >del.script
    row filedelete "$n files" "$(run_script "$work/del.script")" \
      "find '$work/del' -maxdepth 1 -name '*.x' -delete" "rm -rf del && cp -a del.src del"
  done
  rm -rf del del.src del.script
fi
