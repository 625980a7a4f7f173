#!/usr/bin/env bash
# The main job on the bundled example: builds Pelvar, then runs the checked
# scripts of the example Scripts folder as a batch (pelvar --batch, what the
# main window's Start button does) over the example source folder into a
# fresh target folder, and prints the log. The target and source folders are
# given with /TargetDir= and /SourceDir=, which apply to this run only: the
# program folder's pelvar.ini is not changed.
#
# The run works in a temporary folder (a private program folder and the
# target tree), which is removed at the end unless --keep is given or
# PELVAR_KEEP_EXAMPLE=1 is set; its path is printed either way.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

keep="${PELVAR_KEEP_EXAMPLE:-0}"
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    -h | --help)
      echo "usage: scripts/run-example.sh [--keep]   (or PELVAR_KEEP_EXAMPLE=1)"
      exit 0
      ;;
    *)
      echo "run-example.sh: unknown argument: $arg" >&2
      exit 2
      ;;
  esac
done

"$root/scripts/setup.sh"
# Only what the run needs: the program, the registry tool and the program
# folder (not the tests or benchmarks).
"$root/scripts/build.sh" release pelvar pelvar-reg program_folder

program="$root/build/release/program"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-example-XXXXXX")"
finish() {
  if [[ "$keep" == 1 ]]; then
    echo "Work folder kept: $work" >&2
  else
    rm -rf -- "$work"
    echo "Work folder removed: $work (keep it with --keep or PELVAR_KEEP_EXAMPLE=1)" >&2
  fi
}
trap finish EXIT

target="$work/target"
# The ISO file's folder must exist for a batch to start; give it one here.
home="$work/home"
mkdir -p "$home"
cp -r "$program/Scripts" "$home/Scripts"
sed "s|^isofile=.*|isofile=$work/example.iso|" "$program/pelvar.ini" >"$home/pelvar.ini"
echo "Program folder: $home" >&2
echo "Target folder: $target" >&2
status=0
PELVAR_HOME="$home" "$program/pelvar" --batch Scripts \
  "/SourceDir=$program/example-source" "/TargetDir=$target" || status=$?
echo "Exit status: $status" >&2
echo "Target tree:" >&2
(cd "$work" && find target | sort) >&2 || true
exit "$status"
