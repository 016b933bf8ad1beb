#!/usr/bin/env bash
# Sets up, builds and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's packages, the independent TDS clients that the network back end's tests
# check the test server against, and Gnumeric, whose ssconvert reads the grid's copied table
# as a spreadsheet does, asked for in one go: a user without sudo gets one list.
. scripts/packages.sh
install_missing "${build_packages[@]}" freetds-bin python3-tds gnumeric
scripts/setup.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
