#!/usr/bin/env bash
# Sets up, builds and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
# The independent TDS clients the network back end's tests check the test server against.
. scripts/packages.sh
install_missing freetds-bin python3-tds
scripts/setup.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
