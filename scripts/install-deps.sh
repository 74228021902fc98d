#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing TORVANE need.
# Idempotent: does nothing when every package is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev                      # the Linux window (Qt 6 Widgets)
  nlohmann-json3-dev                # scenario files of the simulated vendor library; torvane-list --json
  libcli11-dev                      # torvane-list's command line (header-only, also for the Windows build)
  libgtest-dev libgmock-dev googletest  # unit tests (prebuilt, and sources for the cross build)
  libbenchmark-dev python3-serial   # bench/ (python3-serial: the serial bench's pyserial baseline)
  clang libclang-rt-14-dev          # libFuzzer target
  xvfb xauth                        # the window without a display
  g++-mingw-w64-i686-posix          # the 32-bit Windows build
  wine wine32:i386                  # runs the Windows build and its tests (32-bit Wine)
  socat                             # pseudo-terminal pairs as COM ports under Wine
  xdotool x11-utils x11-apps imagemagick  # the Windows window under Xvfb: find it, screenshot it
  python3                           # examples and test helpers
  libudev-dev umockdev libumockdev-dev  # hot-plug watcher (libudev); its tests against a mock udev
  dpkg-dev file lintian zip unzip   # make package: CPack's .deb (dpkg-shlibdeps) and zip, checked
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package: the architecture must be known before the update.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
