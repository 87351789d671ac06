#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, only those that
# are missing, so that a second run costs nothing. Sourced by run.sh and test.sh.

pelorin_packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  sox libsox-fmt-all
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools libgl-dev
  fonts-liberation2 fonts-noto-cjk fonts-dejavu-core
  locales
  libsndfile1-dev libebur128-dev
  help2man groff-base bash-completion
  dpkg-dev file appstream shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl
  libglib2.0-bin
)

pelorin_fail() {
  echo "error: $*" >&2
  exit 1
}

pelorin_ensure_packages() {
  local missing=() p
  for p in "${pelorin_packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || pelorin_fail "packages missing (${missing[*]}) and not root; install them or run as root"
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq || pelorin_fail "apt-get update failed"
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    pelorin_fail "apt-get install ${missing[*]} failed"
}

# Configures and builds the build folder of one preset of CMakePresets.json:
# pelorin_build PRESET [cmake --build options...]
pelorin_build() {
  local preset=$1
  shift
  echo "== Building preset $preset"
  cmake --preset "$preset" >/dev/null || pelorin_fail "configuring preset $preset failed"
  cmake --build --preset "$preset" -j "$(nproc)" "$@" || pelorin_fail "building preset $preset failed"
}
