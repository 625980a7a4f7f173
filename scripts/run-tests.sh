#!/usr/bin/env bash
# Every test: the release build with warnings as errors, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root"
jobs="$(nproc)"

"$root/scripts/build.sh" ci
(cd build/ci && ctest --output-on-failure -j "$jobs")

if [[ "${PELVAR_SKIP_ASAN:-0}" != 1 ]]; then
  "$root/scripts/build.sh" asan
  (cd build/asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")
fi
