#!/usr/bin/env bash
# Installs the Debian packages that building and testing Verifax needs, skipping those
# already present. Runs as root (CI) or through sudo.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev time util-linux
  # The desktop program: Qt 6 Widgets (with its platform plugins, offscreen for the tests)
  # and a font; Xvfb for tools/screenshots.sh.
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core xvfb xauth
  # The sanitised test build and the fuzz run: Clang with its sanitiser and libFuzzer
  # runtimes.
  clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
