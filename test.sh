#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build folder.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh

pelorin_ensure_packages
jobs=$(nproc)

pelorin_build release
echo "== Tests (Release)"
ctest --preset release -j "$jobs" || pelorin_fail "tests failed (Release)"

pelorin_build sanitize
echo "== Tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --preset sanitize -j "$jobs" || pelorin_fail "tests failed under the sanitizers"

echo "== All tests passed"
