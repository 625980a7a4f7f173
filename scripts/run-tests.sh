#!/usr/bin/env bash
# Every test: the format check, the release build with warnings as errors,
# the Debian package and its checks, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the window tests under ThreadSanitizer,
# and a short run of each fuzz target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root"
jobs="$(nproc)"

"$root/scripts/check-format.sh"

"$root/scripts/build.sh" ci
(cd build/ci && ctest --output-on-failure -j "$jobs")

# The Debian package of that build, and its checks (file list, lintian,
# manual pages, desktop entry, AppStream metadata, file type).
rm -f build/ci/pelvar_*.deb
cmake --build build/ci --target package >&2
"$root/scripts/check-package.sh" build/ci/pelvar_*.deb

if [[ "${PELVAR_SKIP_ASAN:-0}" != 1 ]]; then
  "$root/scripts/build.sh" asan
  (cd build/asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")
fi

# The window tests under ThreadSanitizer: runs go on a worker thread that
# reports to the window. Only those tests and what they link are built. Qt's
# own hand-overs are suppressed (tests/tsan.supp says why).
if [[ "${PELVAR_SKIP_TSAN:-0}" != 1 ]]; then
  if [[ ! -f build/tsan/build.ninja ]]; then
    cmake --preset tsan >/dev/null
  fi
  ui_tests=()
  for source in tests/ui/*_test.cpp; do
    ui_tests+=("ui_$(basename "$source" .cpp)")
  done
  cmake --build build/tsan --target "${ui_tests[@]}"
  (cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
    ctest --output-on-failure -j "$jobs" -R '^ui_')
fi

# A brief run of each fuzz target, built with clang and libFuzzer, on a copy
# of its seed corpus.
if [[ "${PELVAR_SKIP_FUZZ:-0}" != 1 ]]; then
  if [[ ! -f build/fuzz/build.ninja ]]; then
    fuzz_flags="-fsanitize=fuzzer-no-link,address,undefined"
    cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELVAR_FUZZ=ON -DPELVAR_BUILD_UI=OFF \
      -DPELVAR_BUILD_TESTS=OFF -DPELVAR_BUILD_BENCH=OFF -DPELVAR_PACKAGING=OFF \
      "-DCMAKE_C_FLAGS=$fuzz_flags" "-DCMAKE_CXX_FLAGS=$fuzz_flags" \
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
  fi
  fuzz_targets=(archive_reader base64_text line_path ini_round_trip integer_text mask_matcher
    hive_image)
  cmake --build build/fuzz --target "${fuzz_targets[@]/%/_fuzz}"
  for target in "${fuzz_targets[@]}"; do
    corpus="$(mktemp -d)"
    if [[ "$target" == hive_image ]]; then
      # Seeded with the small hives of the test data.
      cp "$root/tests/data/hives/"*.hiv "$corpus/"
    else
      cp "$root/tests/fuzz/corpus/$target/"* "$corpus/"
    fi
    log="$corpus.log"
    if ! "build/fuzz/fuzz/${target}_fuzz" -max_total_time="${PELVAR_FUZZ_SECONDS:-5}" \
      -rss_limit_mb=1024 -timeout=20 "$corpus" >"$log" 2>&1; then
      tail -n 40 "$log"
      exit 1
    fi
    echo "$target fuzz: $(grep -o 'Done [0-9]* runs.*' "$log")"
    rm -rf "$corpus" "$log"
  done
fi
