#!/usr/bin/env bash
# Configures (once) and builds one CMake preset: release (default), ci or asan.
# Further arguments name the targets to build (default: all).
# The build's progress goes to stderr, so callers may keep stdout for results.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
if [[ ! -f "build/$preset/build.ninja" ]]; then
  echo "Configuring build/$preset" >&2
  cmake --preset "$preset" >/dev/null
fi
targets=()
if (($#)); then targets=(--target "$@"); fi
cmake --build "build/$preset" "${targets[@]}" >&2
