#!/usr/bin/env bash
# Sets up, builds and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's packages and what the tests check against: the independent TDS clients for the
# network back end's test server, the print system (cupsd, lpadmin, lpstat) that the printing
# tests start a private copy of, and Gnumeric, whose ssconvert reads the grid's copied table as
# a spreadsheet does; asked for in one go, so a user without sudo gets one list.
. scripts/packages.sh
install_missing "${build_packages[@]}" "${test_packages[@]}"
scripts/setup.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
