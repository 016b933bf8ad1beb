#!/usr/bin/env bash
# Installs the build into a staging folder and uses the installed programs as a user would:
# a demo server from export-pnl-server, host parameters and a headless snapshot from
# mis-host, which must find the installed plug-in by itself. Then builds the Debian package
# and checks the files and dependencies it declares.
# Usage: scripts/install-check.sh [build-dir [snapshot-dir]]
#   build-dir     default build, as scripts/test.sh leaves it
#   snapshot-dir  keep window.png and report.pdf there (default: removed with the staging folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
keep=${2:-}
. scripts/packages.sh
install_missing file dpkg-dev  # CPack's dependency scan: file and dpkg-shlibdeps

fail() {
  echo "install-check: $*" >&2
  exit 1
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" >/dev/null
bin=$stage/usr/bin
plugin=$(find "$stage/usr/lib" -name libexportpnl.so -print -quit)
[ -n "$plugin" ] || fail "no libexportpnl.so under $stage/usr/lib"
for p in mis-host export-pnl-server; do [ -x "$bin/$p" ] || fail "$p is not in $bin"; done

"$bin/export-pnl-server" create-demo "$stage/server" --shipments 500 --seed 7 \
  --clock "2024-03-15 09:41:07" >/dev/null
"$bin/mis-host" --write-demo-params "$stage/host.ini" "$stage/server"
QT_QPA_PLATFORM=offscreen "$bin/mis-host" --snapshot "$stage/snapshot" "$stage/host.ini"
for f in window.png report.pdf; do
  [ -s "$stage/snapshot/$f" ] || fail "the installed mis-host wrote no $f"
done
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  cp "$stage/snapshot/window.png" "$stage/snapshot/report.pdf" "$keep/"
fi
echo "install-check: the installed mis-host loaded ${plugin#"$stage"/} and wrote window.png and report.pdf"

rm -f "$build"/export-pnl_*.deb
(cd "$build" && cpack -G DEB >"$stage/cpack.log" 2>&1) || { cat "$stage/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/export-pnl_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libsqlite3 libsybdb \
  libxlsxwriter qt6-qpa-plugins qt6-translations-l10n fonts-arphic-uming; do
  grep -Eq "(^|[ ,|])$d[0-9a-z.-]*( |,|$)" <<<"$depends" || fail "$deb does not depend on $d: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/mis-host ./usr/bin/export-pnl-server "./usr/${plugin#"$stage"/usr/}"; do
  grep -q " $f\$" <<<"$contents" || fail "$deb lacks $f"
done
# Every dependency must be a package this system's archive knows.
apt-get -s install "$(realpath "$deb")" >/dev/null || fail "the dependencies of $deb cannot be met"
echo "install-check: $deb declares the files and dependencies expected"
