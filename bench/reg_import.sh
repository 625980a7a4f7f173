#!/usr/bin/env bash
# Importing a .reg file of 20,000 values (200 keys of 50 strings and 50
# DWORDs), against the peers a Linux user would pick:
#
#   hive    pelvar-reg import into a mounted copy of the SYSTEM hive (16 MB)
#           | hivexregedit --merge of the same file into another copy,
#             then sync of the file                              target <= 1.0
#   store   pelvar-reg import into the registry store
#           | sqlite3 running the same rows as INSERTs in one
#             transaction, WAL mode, synchronous=FULL            target <= 1.5
#
# Both sides are durable when they end: ours commits the hive (written to a
# new file, synced, renamed, folder synced) and the store (WAL, full sync);
# the peer of the hive syncs the file, and sqlite3 runs with the store's
# settings. Every run starts from a fresh copy (hyperfine --prepare, not
# timed). Timing: hyperfine, one warm-up run each, then ROUNDS (default 5)
# rounds alternating ours and the peer, 3 runs each a round; the medians of
# all runs. Each side is a small sh script, so both start one shell.
#
# PELVAR_REG: the tool to measure (default: the release build's).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pelvar_reg="${PELVAR_REG:-$root/build/release/program/pelvar-reg}"
rounds="${ROUNDS:-5}"
hives="$root/tests/data/hives"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-reg-import-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
export PELVAR_REGISTRY="$work/registry.db"

# The .reg file, its keys below ROOT.
make_reg() {
  awk -v root="$1" 'BEGIN {
    printf "Windows Registry Editor Version 5.00\r\n\r\n[%s\\Bulk]\r\n\r\n", root
    for (k = 0; k < 200; k++) {
      printf "[%s\\Bulk\\Key%d]\r\n", root, k
      for (v = 0; v < 100; v++) {
        if (v % 2 == 0) printf "\"S%d\"=\"value %d of key %d\"\r\n", v, v, k
        else printf "\"D%d\"=dword:%08x\r\n", v, v
      }
      printf "\r\n"
    }
  }'
}

# The same rows as SQL, in the store's tables.
make_sql() {
  awk 'BEGIN {
    for (c = 32; c < 127; c++) ord[sprintf("%c", c)] = c
    print "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
    print "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    print "  name TEXT NOT NULL, fold TEXT NOT NULL, UNIQUE(parent, fold));"
    print "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL,"
    print "  fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    print "BEGIN;"
    print "INSERT INTO keys VALUES(10, 2, \047Bulk\047, \047BULK\047);"
    for (k = 0; k < 200; k++) {
      id = 100 + k
      printf "INSERT INTO keys VALUES(%d, 10, \047Key%d\047, \047KEY%d\047);\n", id, k, k
      for (v = 0; v < 100; v++) {
        if (v % 2 == 0) {
          s = "value " v " of key " k
          hex = ""
          for (i = 1; i <= length(s); i++) hex = hex sprintf("%02x00", ord[substr(s, i, 1)])
          printf "INSERT INTO vals VALUES(%d, \047S%d\047, \047S%d\047, 1, x\047%s0000\047);\n", id, v, v, hex
        } else {
          printf "INSERT INTO vals VALUES(%d, \047D%d\047, \047D%d\047, 4, x\047%02x000000\047);\n", id, v, v, v
        }
      }
    }
    print "COMMIT;"
  }'
}

make_reg 'HKEY_LOCAL_MACHINE\SYS' >hive.reg
make_reg 'HKEY_CURRENT_USER' >store.reg
make_sql >peer.sql
cp "$hives/SYSTEM" ours.hive
cp "$hives/SYSTEM" peer.hive

# The commands, as scripts, so that hyperfine starts them without a shell.
# shellcheck disable=SC2016 # $1 is the script's own argument
printf '#!/bin/sh\nexec "%s" import "$1" >/dev/null\n' "$pelvar_reg" >ours.sh
printf '#!/bin/sh\nhivexregedit --merge "%s" --prefix %s "%s" && sync "%s"\n' \
  "$work/peer.hive" "'HKEY_LOCAL_MACHINE\\SYS'" "$work/hive.reg" "$work/peer.hive" >peer_hive.sh
printf '#!/bin/sh\nsqlite3 "%s" <"%s" >/dev/null\n' "$work/peer.db" "$work/peer.sql" >peer_store.sh
printf '#!/bin/sh\nrm -f "%s"/registry.db* && "%s" load %s "%s" >/dev/null\n' \
  "$work" "$pelvar_reg" "'HKLM\\SYS'" "$work/ours.hive" >fresh_store.sh
chmod +x ./*.sh
./fresh_store.sh

median() {
  tr ' ' '\n' | grep . | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench NAME OURS PEER PREPARE_OURS PREPARE_PEER TARGET
bench() {
  local all_ours="" all_peer="" o p
  hyperfine -N --warmup 1 --runs 1 --prepare "$4" "$2" >/dev/null 2>&1
  hyperfine -N --warmup 1 --runs 1 --prepare "$5" "$3" >/dev/null 2>&1
  for ((r = 0; r < rounds; r++)); do
    hyperfine -N --runs 3 --prepare "$4" "$2" --export-json ours.json >/dev/null 2>&1
    hyperfine -N --runs 3 --prepare "$5" "$3" --export-json peer.json >/dev/null 2>&1
    all_ours+=" $(jq -r '.results[0].times[] * 1000' ours.json | tr '\n' ' ')"
    all_peer+=" $(jq -r '.results[0].times[] * 1000' peer.json | tr '\n' ' ')"
  done
  o="$(median <<<"$all_ours")"
  p="$(median <<<"$all_peer")"
  awk -v n="$1" -v o="$o" -v p="$p" -v l="$6" 'BEGIN {
    r = o / p
    printf "%-6s ours %8.1f ms  peer %8.1f ms  ratio %.2f (target <= %.2f) %s\n",
      n, o, p, r, l, (r <= l ? "ok" : "SLOW")
  }'
  echo "  runs (ms): ours$all_ours / peer$all_peer"
}

bench hive "$work/ours.sh $work/hive.reg" "$work/peer_hive.sh" \
  "cp $hives/SYSTEM $work/ours.hive" "cp $hives/SYSTEM $work/peer.hive" 1.0
bench store "$work/ours.sh $work/store.reg" "$work/peer_store.sh" \
  "$work/fresh_store.sh" "rm -f $work/peer.db $work/peer.db-wal $work/peer.db-shm" 1.5
"$pelvar_reg" unload 'HKLM\SYS' >/dev/null
# Both sides did the work: the last value of the file, in both hives and
# both databases.
[[ "$(hivexget ours.hive '\Bulk\Key199' S98)" == "value 98 of key 199" ]]
[[ "$(hivexget peer.hive '\Bulk\Key199' S98)" == "value 98 of key 199" ]]
[[ "$(sqlite3 registry.db 'SELECT count(*) FROM vals')" -gt 20000 ]]
[[ "$(sqlite3 peer.db 'SELECT count(*) FROM vals')" -eq 20000 ]]
