#!/usr/bin/env bash
# The README's two commands on a fresh machine: a minimal Debian 12 (debootstrap minbase)
# with only git and ca-certificates, the commit under test cloned into it, then
#   1. scripts/test.sh as a user without sudo, before anything is installed: it must name
#      the missing packages and root's command for them, and build nothing;
#   2. as root, without LANG or DISPLAY, exactly as the README says: scripts/demo.sh, then
#      scripts/test.sh; then root's command from step 1 (nothing must be left to install)
#      and scripts/test-other-user.sh from the clone in root's home;
#   3. scripts/test.sh as the user again: it must pass.
# Prints each command's closing lines and time and compares them, and the download, disk
# and time the README gives, with what it measured; nothing may be left in the chroot's
# /tmp. Whatever happens, it unmounts what it mounted and removes the chroot.
# Needs root and debootstrap; the archive and its apt sources are this machine's own. The
# base system (as a tarball) and apt's downloads are kept for the next run in
# EXPORTPNL_FRESH_CACHE (default /var/cache/exportpnl-fresh); its logs/ holds the last
# run's full output.
# Usage: scripts/fresh-machine.sh
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
suite=bookworm  # Debian 12, what the README promises
cache=${EXPORTPNL_FRESH_CACHE:-/var/cache/exportpnl-fresh}
user=newcomer

say() { echo "fresh-machine: $*"; }
skip() {
  say "skipped ($*)"
  exit 0
}
fail() {
  say "FAILED: $*" >&2
  exit 1
}

[ "$(id -u)" -eq 0 ] || skip "needs root for debootstrap and chroot"
command -v debootstrap >/dev/null || skip "debootstrap is not installed: apt-get install debootstrap"
arch=$(dpkg --print-architecture)

# This machine's Debian 12 archives as its apt configuration names them, one line per
# archive: the URI, then its suites.
archives=$(apt-get indextargets --format '$(TARGET_OF) $(IDENTIFIER) $(SITE) $(RELEASE)' |
  awk -v s="$suite" '$1 == "deb" && $2 == "Packages" && $4 ~ "^" s "(-updates|-security)?$" {
    if (!(($3, $4) in seen)) { seen[$3, $4] = 1; suites[$3] = suites[$3] " " $4 } }
    END { for (u in suites) print u suites[u] }' | sort)
mirror=$(awk -v s="$suite" '{ for (i = 2; i <= NF; i++) if ($i == s) print $1 }' <<<"$archives" | head -n 1)
[ -n "$mirror" ] || skip "this machine's apt sources name no $suite archive"
probe=$(mktemp)
if ! /usr/lib/apt/apt-helper download-file "$mirror/dists/$suite/Release" "$probe" >/dev/null 2>&1; then
  rm -f "$probe"
  skip "$mirror cannot be reached"
fi
rm -f "$probe"

# In a mount namespace of its own, every mount ends with this process, however it ends.
if [ -z "${EXPORTPNL_FRESH_NS:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
  exec env EXPORTPNL_FRESH_NS=1 unshare --mount --propagation private "$src/scripts/fresh-machine.sh"
fi

mkdir -p "$cache/archives" "$cache/debootstrap"
exec 9>"$cache/lock"
flock 9
logs=$cache/logs
rm -rf "$logs"
mkdir -p "$logs"
started=$EPOCHSECONDS
commit=$(git -C "$src" rev-parse HEAD)
say "commit $(git -C "$src" log -1 --format='%h %s' | cut -c1-80)"
[ -z "$(git -C "$src" status --porcelain --untracked-files=no)" ] ||
  say "note: uncommitted changes in $src are not part of the check"

root=$(mktemp -d -p "${TMPDIR:-/var/tmp}" exportpnl-fresh.XXXXXX)
chmod 755 "$root"

# apt's downloads back into the cache, and only those the chroot has installed: older
# versions go.
keep_downloads() {
  local debs=$root/var/cache/apt/archives f
  [ -d "$debs" ] && [ -x "$root/usr/bin/dpkg-query" ] || return 0
  chroot "$root" dpkg-query -W -f='${Package}_${Version}_${Architecture}.deb\n' 2>/dev/null |
    sed 's/:/%3a/g' | sort >"$logs/installed-debs"
  for f in "$debs"/*.deb; do
    [ -e "$f" ] && grep -qxF "$(basename "$f")" "$logs/installed-debs" || continue
    [ "$f" -ef "$cache/archives/$(basename "$f")" ] ||
      ln -f "$f" "$cache/archives/" 2>/dev/null || cp -f "$f" "$cache/archives/"
  done
  for f in "$cache/archives"/*.deb; do
    [ -e "$f" ] && ! grep -qxF "$(basename "$f")" "$logs/installed-debs" && rm -f "$f"
  done
  return 0
}

mounts_under() { awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo; }
cleanup() {
  local rc=$? p left
  set +e
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
  done
  mounts_under | sort -r | while read -r p; do umount "$p" 2>/dev/null || umount -l "$p"; done
  keep_downloads
  left=$(mounts_under)
  if [ -n "$left" ]; then
    # Removing would reach through a mount into this machine's own files.
    say "still mounted, so $root is left in place: $left" >&2
    exit 1
  fi
  rm -rf --one-file-system "$root"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The base system: minbase, this machine's Debian 12 sources, git and ca-certificates.
sources() {
  local uri suites
  while read -r uri suites; do
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suites"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n'
  done <<<"$archives"
}
base=$cache/$suite-$arch-minbase-git.tar.gz
tick=$EPOCHSECONDS
if [ -f "$base" ] && [ -n "$(find "$base" -mtime -30)" ] && cmp -s <(sources) "$base.sources"; then
  tar --numeric-owner -xzf "$base" -C "$root"
  say "base system from $base ($((EPOCHSECONDS - tick)) s)"
else
  say "debootstrap --variant=minbase $suite from $mirror"
  debootstrap --variant=minbase --components=main --cache-dir="$cache/debootstrap" \
    "$suite" "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
    { tail -n 20 "$logs/debootstrap.log"; fail "debootstrap"; }
  rm -f "$root/etc/apt/sources.list"
  sources >"$root/etc/apt/sources.list.d/debian.sources"
  rm -f "$root/etc/resolv.conf"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends git ca-certificates && apt-get clean' \
    >"$logs/base.log" 2>&1 </dev/null || { tail -n 20 "$logs/base.log"; fail "installing git"; }
  rm -f "$base.new"
  tar --numeric-owner --one-file-system -C "$root" -czf "$base.new" .
  mv "$base.new" "$base"
  sources >"$base.sources"
  say "base system made and kept in $base ($((EPOCHSECONDS - tick)) s)"
fi
# Removed first: copied onto a symbolic link it would land on this machine's own file.
rm -f "$root/etc/resolv.conf"
cp /etc/resolv.conf "$root/etc/resolv.conf"
find "$cache/archives" -name '*.deb' -exec ln -f -t "$root/var/cache/apt/archives/" {} + 2>/dev/null ||
  find "$cache/archives" -name '*.deb' -exec cp -t "$root/var/cache/apt/archives/" {} +

# The chroot's / a mount point of its own, as a machine's is: unshare --propagation needs one.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
mount -t tmpfs -o mode=755 run "$root/run"

git init -q --bare "$root/srv/export-pnl.git"
git -C "$root/srv/export-pnl.git" config receive.shallowUpdate true
git -C "$src" push -q "$root/srv/export-pnl.git" "$commit:refs/heads/main"
git -C "$root/srv/export-pnl.git" symbolic-ref HEAD refs/heads/main
# The stand-in for the repository's URL is root's: other users' git refuses it unless told.
chroot "$root" git config --system --add safe.directory /srv/export-pnl.git
chroot "$root" /usr/sbin/useradd -m -s /bin/bash "$user"

# step NAME WHO COMMAND: COMMAND in a login shell of WHO in the chroot, with nothing of this
# machine's environment; the output in $logs/NAME.log, each line after the seconds since
# the start. Sets rc and secs.
step() {
  local name=$1 who=$2 cmd=$3 t0=$EPOCHSECONDS
  set +e
  # Entered by pivot_root in a mount namespace of its own, not by chroot: the kernel lets no
  # one in a chroot make a user namespace, as a real machine lets its users (the full-disk
  # tests mount a small filesystem of their own in one).
  unshare --mount --propagation private -- /bin/sh -c \
    'cd "$1" && pivot_root . . && umount -l . && cd / && shift && exec "$@"' sh "$root" \
    /usr/bin/env -i /usr/sbin/runuser -l "$who" -c "$cmd" </dev/null 2>&1 |
    while IFS= read -r line; do printf '%d\t%s\n' $((EPOCHSECONDS - t0)) "$line"; done >"$logs/$name.log"
  rc=${PIPESTATUS[0]}
  set -e
  secs=$((EPOCHSECONDS - t0))
}
text() { cut -f2- "$logs/$1.log"; }
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
# shows NAME WHO LABEL [N]: the command's time and closing lines (its last N, or for a test
# run ctest's summary on); fails when rc is not 0.
shows() {
  echo "== $3 (as $2): $(minutes "$secs"), exit $rc"
  if [ -n "${4:-}" ]; then
    text "$1" | tail -n "$4"
  else
    text "$1" | sed -n '/^[0-9]*% tests passed/,$p'
  fi | sed 's/^/    /'
  [ "$rc" -eq 0 ] || fail "$3 as $2 failed; its whole output is in $logs/$1.log"
}
installed() {
  chroot "$root" dpkg-query -W -f='${Package} ${Version} ${Architecture} ${Installed-Size}\n' | sort
}

# 1. The user first, on the machine as it comes.
step user-first "$user" 'git clone -q /srv/export-pnl.git export-pnl && cd export-pnl && scripts/test.sh'
echo "== scripts/test.sh (as $user, before root has installed anything): $(minutes "$secs"), exit $rc"
text user-first | tail -n 7 | sed 's/^/    /'
[ "$rc" -ne 0 ] || fail "scripts/test.sh passed for a user who could not install its packages"
root_cmd=$(text user-first | sed -n "s/^  \(su -c 'apt-get update && apt-get install --no-install-recommends .*'\)\$/\1/p")
listed=$(text user-first | sed -n '/needs these Debian packages/{n;p}' | xargs)
[ -n "$root_cmd" ] && [ -n "$listed" ] || fail "no package list and root command in the refusal"
[ ! -e "$root/home/$user/export-pnl/build" ] || fail "the refused run built something"

# 2. Root, as the README says.
installed >"$logs/packages-before"
du_before=$(du -smx "$root" | cut -f1)
step demo root 'git clone -q /srv/export-pnl.git export-pnl && cd export-pnl && scripts/demo.sh'
demo_secs=$secs
shows demo root scripts/demo.sh 10
installed >"$logs/packages-demo"
build_mb=$(du -sm "$root/root/export-pnl/build" | cut -f1)
step test root 'cd export-pnl && scripts/test.sh'
test_secs=$secs
shows test root scripts/test.sh
installed >"$logs/packages-test"
du_after=$(du -smx "$root" | cut -f1)
ccache_mb=$(du -sm "$root/root/.cache/ccache" 2>/dev/null | cut -f1) || true

step root-command root "$root_cmd"
shows root-command root "the refusal's su -c '...' command" 1
for p in $listed; do
  grep -Eq "^$p(:$arch)? " "$logs/packages-test" || fail "$p, named in the refusal, is still not installed"
done
step other-user root 'cd export-pnl && scripts/test-other-user.sh'
shows other-user root scripts/test-other-user.sh

# 3. The user again.
step user-again "$user" 'cd export-pnl && scripts/test.sh'
user_secs=$secs
shows user-again "$user" scripts/test.sh

left=$(ls -A "$root/tmp")
[ -z "$left" ] || fail "left in the chroot's /tmp: $(echo $left)"
say "nothing left in the chroot's /tmp"

# The closing lines against the README's: the demo's summary line for line with digits
# masked (the figures change with the day), the test count's line, and only the live tests
# not run.
readme=$(git -C "$src" show "$commit:README.md")  # the README of the commit under test
readme_block() { sed -n "/^    $1/,/^    $2/p" <<<"$readme" | sed 's/^    //'; }
mask() { sed 's/[0-9][0-9]*/#/g; s/[[:space:]]*$//'; }
expected=$(readme_block 'Demo server created in' 'Snapshot written:')
actual=$(text demo | sed -n '/^Demo server created in/,/^Snapshot written:/p')
if [ "$(mask <<<"$expected")" != "$(mask <<<"$actual")" ]; then
  diff <(mask <<<"$expected") <(mask <<<"$actual") | sed 's/^/    /' || true
  fail "the demo's closing lines differ from the README's (README <, demo >)"
fi
say "the demo's closing lines read as the README's"
count_line=$(grep -oE '100% tests passed, 0 tests failed out of [0-9]+' <<<"$readme" | head -n 1) || true
for run in test user-again; do
  line=$(text $run | grep -E '^100% tests passed, 0 tests failed out of [0-9]+$' || true)
  [ -n "$line" ] || fail "$run: no line like the README's \"$count_line\""
  not_run=$(text $run | sed -n '/^The following tests did not run:/,$p' | grep -E '^\s+[0-9]+ - ' || true)
  unexpected=$(grep -vE ' - (LiveServer|LiveStatement)\.[A-Za-z0-9_]+ \(Skipped\)$' <<<"$not_run" || true)
  [ -z "$unexpected" ] || fail "$run: tests not run besides the live ones: $unexpected"
done
say "the tests' closing lines read as the README's: $line (README: ${count_line##* }), only LiveServer.* and LiveStatement.* skipped"

# What the first run cost, against the README's figures. The downloads count whether apt
# fetched them or found them in the cache: a fresh machine fetches them all.
comm -13 "$logs/packages-before" "$logs/packages-test" >"$logs/packages-new"
new=$(wc -l <"$logs/packages-new")
sum4() { awk '{ s += $4 } END { print int(s / 1024) }' "$1"; }
installed_mb=$(($(sum4 "$logs/packages-test") - $(sum4 "$logs/packages-before")))
download_mb=$(awk '{ v = $2; gsub(":", "%3a", v); print $1 "_" v "_" $3 ".deb" }' "$logs/packages-new" |
  (cd "$root/var/cache/apt/archives" && xargs -r stat -c %s) | awk '{ s += $1 } END { print int(s / 1048576) }') ||
  true
build_secs=$(awk -F'\t' '$2 ~ /^\[[0-9]+\/[0-9]+\] / { if (first == "") first = $1; last = $1 }
  END { print last - first }' "$logs/demo.log")
readme_num() { tr -s ' \n' '  ' <<<"$readme" | grep -oP "$1" | head -n 1 || echo '?'; }
# figure WHAT MEASURED UNIT README: one line of the table, flagged where the README's number
# is more than a quarter off.
figure() {
  local note=
  [[ $4 =~ ^[0-9.]+$ ]] && note=$(awk -v m="$2" -v r="$4" 'BEGIN { if (m == 0) exit; d = (r - m) / m
    if (d > 0.25 || d < -0.25) printf "   <- the README is %+d %% off", d * 100 }')
  printf '    %-38s %7s %-4s README: %s%s\n' "$1" "$2" "$3" "$4" "$note"
}
one_decimal() { awk -v x="$1" -v d="$2" 'BEGIN { printf "%.1f", x / d }'; }
echo "== the first run as measured here, and the README's figures"
figure "packages installed" "$new" "" "$(readme_num 'some \K[0-9]+(?= packages)')"
figure "downloaded" "$download_mb" MB "$(readme_num 'about \K[0-9]+(?= MB of Debian packages)')"
figure "installed size" "$installed_mb" MB "$(readme_num 'about \K[0-9]+(?= MB once installed)')"
figure "scripts/demo.sh in all" "$(one_decimal "$demo_secs" 60)" min "$(readme_num 'about \K[0-9]+(?= minutes in all)')"
figure "the build, on $(nproc) cores" "$(one_decimal "$build_secs" 60)" min "$(readme_num 'builds for about \K[0-9]+(?= minutes)')"
figure "scripts/test.sh after it" "$test_secs" s "the tests $(readme_num 'the tests take \K[^.]+')"
figure "disk" "$(one_decimal $((du_after - du_before)) 1024)" GB "$(readme_num 'about \K[0-9.]+(?= GB of disk)')"
figure "build/" "$build_mb" MB "$(readme_num '\K[0-9]+(?= MB for `build/`)')"
figure "compiler cache" "${ccache_mb:-0}" MB "$(readme_num '\K[0-9]+(?= MB of compiler cache)')"
figure "scripts/test.sh as $user, its build" "$(one_decimal "$user_secs" 60)" min "-"
say "passed in $(minutes $((EPOCHSECONDS - started)))"
