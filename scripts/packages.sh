# Sourced by the set-up scripts: the packages the build and the tests need, and installing
# those that are missing, as root or through sudo, saying plainly what is needed when
# neither is possible.

# zlib1g-dev: libxlsxwriter's pkg-config file links -lz, which libxlsxwriter-dev does not
# pull in. file: cpack's dependency scan of the Debian package.
build_packages=(
  build-essential cmake ninja-build pkg-config ccache file
  qt6-base-dev libgl-dev libsqlite3-dev freetds-dev libxlsxwriter-dev zlib1g-dev libcups2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-translations-l10n fonts-arphic-uming fonts-wqy-microhei poppler-utils
)
# The independent TDS clients the network back end's tests check the test server against
# (Debian 12's python3-tds imports pkg_resources without depending on its package), and the
# print system the printing tests start a private copy of, and Gnumeric (ssconvert) to read
# what the grid puts on the clipboard.
test_packages=(freetds-bin python3-tds python3-pkg-resources cups cups-client gnumeric)

# Sets sudo_cmd to (sudo) when sudo may be used here; otherwise sets refusal to the reason
# and returns 1. Tries without a password first, so password-less sudo works without a
# terminal; asks for the password only where there is a terminal to ask on.
sudo_usable() {
  if ! command -v sudo >/dev/null 2>&1; then
    refusal="this user is not root, and sudo is not installed"
    return 1
  fi
  if sudo -n true 2>/dev/null; then
    sudo_cmd=(sudo)
    return 0
  fi
  if ! (: </dev/tty) 2>/dev/null; then
    refusal="sudo needs this user's password, and there is no terminal to ask for it on (run $0 from a terminal to use sudo)"
    return 1
  fi
  # sudo asks on the terminal and writes its refusal to stderr, kept here to tell a user
  # without sudo rights from a password that was not accepted.
  local err
  err=$(mktemp)
  if sudo -v 2>"$err"; then
    rm -f "$err"
    sudo_cmd=(sudo)
    return 0
  fi
  cat "$err" >&2
  if grep -Eq "not in the sudoers|may not run sudo|not allowed" "$err"; then
    refusal="this user may not use sudo"
  else
    refusal="sudo did not accept this user's password"
  fi
  rm -f "$err"
  return 1
}

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo_cmd=() refusal=
  if [ "$(id -u)" -ne 0 ] && ! sudo_usable; then
    cat >&2 <<EOT

$0 needs these Debian packages, which are not installed:
  ${missing[*]}
Installing them needs root or sudo: $refusal.
Have root install them, then run $0 again as yourself:
  su -c 'apt-get update && apt-get install --no-install-recommends ${missing[*]}'
EOT
    return 1
  fi
  echo "Installing ${#missing[@]} Debian packages${sudo_cmd:+ through sudo} (and what they need): ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
