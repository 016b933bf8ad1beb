#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and builds it.
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev libsqlite3-dev freetds-dev libxlsxwriter-dev libgtest-dev libgmock-dev
  libbenchmark-dev
  qt6-translations-l10n fonts-arphic-uming fonts-wqy-microhei poppler-utils
)
. scripts/packages.sh
install_missing "${packages[@]}"

build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Silent when the build is up to date; the progress of a real build stays on the terminal.
if ! cmake --build "$build" -- -n 2>/dev/null | grep -qx 'ninja: no work to do.'; then
  cmake --build "$build" -j "$(nproc)"
fi
