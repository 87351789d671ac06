#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build folder.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh

pelorin_ensure_packages
jobs=$(nproc)

pelorin_build build -DCMAKE_BUILD_TYPE=Release
echo "== Tests (Release)"
ctest --test-dir build --output-on-failure -j "$jobs" || pelorin_fail "tests failed (Release)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
pelorin_build build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_SANITIZE=ON \
  -DPELORIN_BUILD_BENCHMARKS=OFF
echo "== Tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs" ||
  pelorin_fail "tests failed under the sanitizers"

echo "== All tests passed"
