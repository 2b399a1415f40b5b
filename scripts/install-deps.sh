#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need;
# does nothing when all are present.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins
  libdeflate-dev zlib1g-dev libbrotli-dev libssl-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-image-formats-plugins libsquish-dev libre2-dev nlohmann-json3-dev
  xvfb xauth desktop-file-utils shared-mime-info dpkg-dev file zip brotli
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
