#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and builds it.
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/packages.sh
install_missing "${build_packages[@]}"

build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Silent when the build is up to date; the progress of a real build stays on the terminal.
if ! cmake --build "$build" -- -n 2>/dev/null | grep -qx 'ninja: no work to do.'; then
  cmake --build "$build" -j "$(nproc)"
fi
