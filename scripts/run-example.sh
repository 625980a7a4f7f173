#!/usr/bin/env bash
# The main job on the bundled example: builds Pelvar, then runs the example
# script headless over the example source folder into a fresh target folder
# and prints its log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release >/dev/null

program="$root/build/release/program"
target="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-example-XXXXXX")/target"
echo "Target folder: $target" >&2
status=0
"$program/pelvar" "$program/Scripts/example.script" \
  "/SourceDir=$program/example-source" "/TargetDir=$target" /silent || status=$?
echo "Exit status: $status" >&2
echo "Target tree:" >&2
(cd "$(dirname "$target")" && find target | sort) >&2 || true
exit "$status"
