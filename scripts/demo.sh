#!/usr/bin/env bash
# Sets up, builds, creates the demo server and opens the statement window on it through the
# host program. Without a display it runs headless and writes a snapshot:
# demo/snapshot/window.png and demo/snapshot/report.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build

rm -rf demo/server
mkdir -p demo
build/server/demo/export-pnl-server create-demo demo/server --shipments 20000 --seed 7
build/bin/mis-host --write-demo-params demo/host.ini demo/server
build/server/demo/export-pnl-server summary demo/server

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${1:-}" != "--snapshot" ]; then
  exec build/bin/mis-host --open demo/host.ini
fi
mkdir -p demo/snapshot
QT_QPA_PLATFORM=offscreen build/bin/mis-host --snapshot demo/snapshot demo/host.ini
echo "Snapshot written: demo/snapshot/window.png, demo/snapshot/report.pdf"
