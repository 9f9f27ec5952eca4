#!/usr/bin/env bash
# Installs the Debian packages Vornix needs, and only those that are missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config ccache qt6-base-dev libgl-dev libgtest-dev
          libbenchmark-dev libspng-dev libdeflate-dev zlib1g-dev nlohmann-json3-dev libcli11-dev
          clang libclang-rt-14-dev xvfb xauth libxcb1-dev dpkg-dev desktop-file-utils libxml2-utils
          shared-mime-info)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
