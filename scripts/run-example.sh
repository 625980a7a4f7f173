#!/usr/bin/env bash
# The main job on the bundled example: builds Pelvar, then runs the checked
# scripts of the example Scripts folder as a batch (pelvar --batch, what the
# main window's Start button does) over the example source folder into a
# fresh target folder, and prints the log. The target and source folders are
# given with /TargetDir= and /SourceDir=, which apply to this run only: the
# program folder's pelvar.ini is not changed (log.txt is written beside it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release >/dev/null

program="$root/build/release/program"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-example-XXXXXX")"
target="$work/target"
# The ISO file's folder must exist for a batch to start; give it one here.
home="$work/home"
mkdir -p "$home"
cp -r "$program/Scripts" "$home/Scripts"
sed "s|^isofile=.*|isofile=$work/example.iso|" "$program/pelvar.ini" >"$home/pelvar.ini"
echo "Target folder: $target" >&2
status=0
PELVAR_HOME="$home" "$program/pelvar" --batch Scripts \
  "/SourceDir=$program/example-source" "/TargetDir=$target" || status=$?
echo "Exit status: $status" >&2
echo "Target tree:" >&2
(cd "$work" && find target | sort) >&2 || true
exit "$status"
