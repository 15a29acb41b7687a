#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Debian 12 ships libesedb 20181229, which cannot read long values kept in a
# table's long-value tree; 20240420 comes from Debian 13 (trixie), added as an
# extra apt source pinned low so that nothing else is taken from it.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

export DEBIAN_FRONTEND=noninteractive

# The URI of the Debian archive this machine already uses.
archive_uri() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1=="deb" && $0 !~ /security/ {for (i=2;i<=NF;i++) if ($i ~ /^(https?|ftp|file):/) {print $i; exit}}' /etc/apt/sources.list)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}

if [ ! -f /etc/apt/sources.list.d/trixie.sources ]; then
  uri=$(archive_uri)
  $SUDO tee /etc/apt/sources.list.d/trixie.sources >/dev/null <<SRC
Types: deb
URIs: ${uri}
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $SUDO tee /etc/apt/preferences.d/trixie-low >/dev/null <<'PIN'
Package: *
Pin: release n=trixie
Pin-Priority: 100
PIN
fi

$SUDO apt-get update -qq

packages=(
  build-essential cmake pkg-config ninja-build
  libgtest-dev libgmock-dev libbenchmark-dev
  libfwnt-dev
  nlohmann-json3-dev
  libytnef0-dev
  clang libclang-rt-14-dev
  xz-utils python3 time bc
  libcli11-dev libgmime-3.0-dev libical-dev
  qt6-base-dev qt6-webengine-dev qt6-tools-dev qt6-tools-dev-tools libgl-dev
  chromium xvfb xauth fonts-dejavu-core fonts-noto-cjk fonts-liberation2
  mutt tmux ccache
)
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"
# From trixie, by explicit release per package (never -t trixie).
$SUDO apt-get install -y -qq --no-install-recommends libesedb-dev/trixie libesedb-utils/trixie
