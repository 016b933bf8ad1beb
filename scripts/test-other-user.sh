#!/usr/bin/env bash
# Runs the whole test suite again as another, unprivileged user, after a run as root: a test
# that writes a fixed name in the shared temporary folder, or anywhere in the build folder,
# fails here. Runs as root (CI, after scripts/test.sh); as anyone else it says so and skips.
# Usage: scripts/test-other-user.sh [build-dir]   (default: build)
#   EXPORTPNL_OTHER_USER  the user to run as (default: nobody)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
user=${EXPORTPNL_OTHER_USER:-nobody}
if [ "$(id -u)" -ne 0 ]; then
  echo "test-other-user: skipped (only root can run the suite as $user)"
  exit 0
fi
as_user() { runuser -u "$user" -- "$@"; }

unreadable=$(as_user find "$build" "$PWD/tests" ! -readable -print -quit 2>&1 || true)
if [ -n "$unreadable" ] || ! as_user test -r "$build/CTestTestfile.cmake"; then
  echo "test-other-user: $user cannot read the build: ${unreadable:-$build}" >&2
  echo "(built with a umask that keeps others out? chmod -R o+rX the source and build folders)" >&2
  exit 1
fi

# The user's own home, runtime folder and a copy of the test lists: ctest keeps its logs
# beside them, and the build folder stays root's, read-only for the user. The lists name
# the test programs in the build folder, which run there with their usual working folders.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/home" "$work/runtime" "$work/ctest"
(cd "$build" && find . -name CTestTestfile.cmake -exec cp --parents {} "$work/ctest/" \;)
chown -R "$user" "$work"
chmod 755 "$work"

echo "== the suite as $user (uid $(as_user id -u))"
as_user env -i PATH="$PATH" LANG="${LANG:-C.UTF-8}" HOME="$work/home" \
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
  ctest --test-dir "$work/ctest" --output-on-failure -j "$(nproc)" --timeout 300
