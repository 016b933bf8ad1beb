#!/usr/bin/env bash
# Runs the whole test suite again as another, unprivileged user, after a run as root: a test
# that writes a fixed name in the shared temporary folder, or anywhere in the build folder,
# fails here. Runs as root (CI, after scripts/test.sh); as anyone else it says so and skips.
# A clone inside a folder the user may not pass (root's home, mode 700) is shown to the user
# in a private view where only the source and build folders are reachable there.
# Usage: scripts/test-other-user.sh [build-dir]   (default: build)
#   EXPORTPNL_OTHER_USER  the user to run as (default: nobody)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$(realpath "${1:-build}")
user=${EXPORTPNL_OTHER_USER:-nobody}
if [ "$(id -u)" -ne 0 ]; then
  echo "test-other-user: skipped (only root can run the suite as $user)"
  exit 0
fi
as_user() { runuser -u "$user" -- "$@"; }

# The folder nearest / on the way to $1 that the user may not pass through, if any.
blocking_folder() {
  local d=$1 top=
  while [ "$d" != / ]; do
    d=$(dirname "$d")
    as_user test -x "$d" || top=$d
  done
  echo "$top"
}
kept=("$src")
[[ $build == "$src"/* ]] || kept+=("$build")
blocked=
for d in "${kept[@]}"; do
  b=$(blocking_folder "$d")
  if [ -n "$b" ] && { [ -z "$blocked" ] || [[ $blocked == "$b"/* ]]; }; then blocked=$b; fi
done

if [ -n "$blocked" ] && [ -z "${EXPORTPNL_OTHER_USER_VIEW:-}" ]; then
  mode=$(stat -c %a "$blocked")
  if [ "$blocked" != / ] && unshare --mount --propagation private true 2>/dev/null; then
    echo "test-other-user: $user may not pass $blocked (mode $mode): running in a view of it that holds only ${kept[*]}"
    exec env EXPORTPNL_OTHER_USER_VIEW=1 unshare --mount --propagation private \
      "$src/scripts/test-other-user.sh" "$build"
  fi
  echo "test-other-user: $user cannot reach ${kept[*]}: $blocked (mode $mode) lets no other user pass," >&2
  echo "and no private view of it can be made here (unshare --mount failed)." >&2
  echo "Clone into a folder other users can reach, or allow passing: chmod o+x $blocked" >&2
  exit 1
fi

hold=
cleanup() {
  # Unmount before removing anything: the holding folders show the real source and build.
  if [ -n "$hold" ]; then
    for m in "$hold"/*; do [ -d "$m" ] && umount "$m" && rmdir "$m"; done
    rmdir "$hold"
  fi
  [ -z "${work:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
if [ -n "${EXPORTPNL_OTHER_USER_VIEW:-}" ] && [ -n "$blocked" ]; then
  # Only this process and its children see these mounts; they end with it.
  umask 022
  hold=$(mktemp -d -p /tmp)
  for i in "${!kept[@]}"; do
    mkdir "$hold/$i"
    mount --bind "${kept[$i]}" "$hold/$i"
  done
  mount -t tmpfs -o mode=755 exportpnl-view "$blocked"
  for i in "${!kept[@]}"; do
    mkdir -p "${kept[$i]}"
    mount --bind "$hold/$i" "${kept[$i]}"
  done
fi

unreadable=$(as_user find "$build" "$src/tests" ! -readable -print -quit 2>&1 || true)
if [ -n "$unreadable" ] || ! as_user test -r "$build/CTestTestfile.cmake"; then
  echo "test-other-user: $user cannot read the build: ${unreadable:-$build}" >&2
  echo "(built with a umask that keeps others out? chmod -R o+rX the source and build folders)" >&2
  exit 1
fi

# The user's own home, runtime folder and a copy of the test lists: ctest keeps its logs
# beside them, and the build folder stays root's, read-only for the user. The lists name
# the test programs in the build folder, which run there with their usual working folders.
work=$(mktemp -d)
mkdir -m 700 "$work/home" "$work/runtime" "$work/ctest"
(cd "$build" && find . -name CTestTestfile.cmake -exec cp --parents {} "$work/ctest/" \;)
chown -R "$user" "$work"
chmod 755 "$work"

echo "== the suite as $user (uid $(as_user id -u))"
as_user env -i PATH="$PATH" LANG="${LANG:-C.UTF-8}" HOME="$work/home" \
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
  ctest --test-dir "$work/ctest" --output-on-failure -j "$(nproc)" --timeout 300
