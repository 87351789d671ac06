#!/usr/bin/env bash
# Installs what is missing, builds into build/ (Release) and runs the main job: on the bundled
# sample without arguments, or on the files given.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh

pelorin_ensure_packages
pelorin_build build -DCMAKE_BUILD_TYPE=Release

if [ $# -eq 0 ]; then
  set -- samples/bell.wav
fi
echo "== pelorin-cli inspect $*"
build/pelorin-cli inspect "$@" || pelorin_fail "pelorin-cli refused at least one file (exit $?)"
