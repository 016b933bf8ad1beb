# Sourced by the set-up scripts: the packages the build needs, and installing those that are
# missing, as root or through sudo, saying plainly what is needed when neither is possible.

build_packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev libsqlite3-dev freetds-dev libxlsxwriter-dev libcups2-dev libgtest-dev libgmock-dev
  libbenchmark-dev
  qt6-translations-l10n fonts-arphic-uming fonts-wqy-microhei poppler-utils
)

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    # sudo -v asks for the password once, and fails for a user who may not use sudo (or
    # without a terminal to ask on): the refusal comes before anything has started.
    if command -v sudo >/dev/null 2>&1 && sudo -v; then
      sudo_cmd=(sudo)
    else
      cat >&2 <<EOF

$0 needs these Debian packages, which are not installed:
  ${missing[*]}
Installing them needs root, and this user is neither root nor allowed to use sudo.
Have root install them, then run $0 again as yourself:
  su -c 'apt-get update && apt-get install --no-install-recommends ${missing[*]}'
EOF
      return 1
    fi
  fi
  echo "Installing ${#missing[@]} Debian packages${sudo_cmd:+ through sudo} (and what they need): ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
