#!/usr/bin/env bash
# Installs what is missing, builds into build/ (Release) and converts: the bundled sample into
# build/bell.mmf without arguments, or the files given (each beside itself).
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh

pelorin_ensure_packages
pelorin_build release

if [ $# -eq 0 ]; then
  set -- -d build samples/bell.wav
fi
echo "== pelorin-cli convert $*"
build/pelorin-cli convert "$@" || pelorin_fail "pelorin-cli could not convert every file (exit $?)"
