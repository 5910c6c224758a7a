#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# clang and libclang-rt-dev (libFuzzer and the sanitizer runtimes) build the fuzz targets; the
# MinGW compiler, Wine and the GoogleTest sources serve scripts/test-windows.sh.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  libcli11-dev nlohmann-json3-dev
  tftpd-hpa curl iproute2 python3
  tshark nftables  # read the packet log back; the firewall check of doctor
  dpkg-dev desktop-file-utils appstream lintian  # the package and its validators
  clang libclang-rt-dev
  g++-mingw-w64-x86-64-posix wine64 wine googletest  # Windows cross build, tests under Wine
  nsis xvfb xauth x11-utils x11-apps xdotool  # the Windows installer; the window under Wine on a virtual display
  fonts-dejavu-core  # the one font every window test measures with, under Wine too
  ansible-core prometheus  # the Ansible collection's playbooks; promtool checks the metrics text
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  # tshark asks whether ordinary users may capture; never ask, never install setuid helpers.
  echo "wireshark-common wireshark-common/install-setuid boolean false" |
    "${sudo_cmd[@]}" debconf-set-selections
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
