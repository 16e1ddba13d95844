#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds lumo27kq and runs it.
#   ./setup.sh run    install, build, start the wizard (against the simulated device)
#   ./setup.sh test   install, build with the sanitizers, run every test
#   ./setup.sh deps   install the Debian packages only
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
  libgtest-dev libgmock-dev
  fonts-ipafont-gothic
  clang libclang-rt-14-dev
  vsftpd curl
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
  deps)
    install_deps
    ;;
  run)
    install_deps
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_TESTS=OFF
    cmake --build build -j "$jobs"
    exec tools/run-with-sim.sh build
    ;;
  test)
    install_deps
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMO_SANITIZE=ON -DLUMO_WERROR=ON
    cmake --build build-test -j "$jobs"
    cd build-test
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600
    ;;
  *)
    sed -n '2,6p' "$0"
    exit 1
    ;;
esac
