#!/usr/bin/env bash
# Installs the Debian packages that TORVANE needs, by what needs them: the one
# place that lists packages (docs/DEPENDENCIES.md says why each is there).
#
#   install-deps.sh run       building and showing the Linux window (make run, make demo)
#   install-deps.sh package   run, plus building the .debs and the Windows zip (make package)
#   install-deps.sh test      everything: the suites, Windows under Wine, the package checks (make test, CI)
#
# Idempotent: does nothing when every package of the group is already installed.
set -euo pipefail

# make run: configure and build the programs, show the window without a display.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev                      # the Linux window (Qt 6 Widgets)
  nlohmann-json3-dev                # scenario files of the simulated vendor library; torvane-list --json
  libcli11-dev                      # torvane-list's command line (header-only, also for the Windows build)
  libudev-dev                       # the window's hot-plug watcher
  xvfb xauth                        # the window without a display
)

# make package: the .debs (CPack, dpkg-shlibdeps) and the Windows zip.
package_packages=(
  dpkg-dev file                     # CPack's DEB generator: Depends from dpkg-shlibdeps, binaries found with file
  zip                               # CPack's ZIP generator
  g++-mingw-w64-i686-posix          # the 32-bit Windows build
)

# make test: the suites, the fuzz run, the Windows tests under Wine, the package checks.
test_packages=(
  libgtest-dev libgmock-dev googletest  # unit tests (prebuilt, and sources for the cross build)
  libbenchmark-dev python3-serial   # bench/ (python3-serial: the serial bench's pyserial baseline)
  clang libclang-rt-14-dev          # libFuzzer target
  wine wine32:i386                  # runs the Windows build and its tests (32-bit Wine)
  socat                             # pseudo-terminal pairs as COM ports under Wine
  xdotool x11-utils x11-apps imagemagick  # the Windows window under Xvfb: find it, screenshot it
  python3                           # examples and test helpers
  umockdev libumockdev-dev          # the hot-plug watcher's tests against a mock udev
  lintian unzip                     # scripts/check-packages.sh: lintian on the .debs, the zip unpacked
  qemu-system-x86 xz-utils          # the kernel tests' guest (scripts/kernel-guest.sh; xz unpacks the kernel)
  libkmod2 libcap2 libacl1 libblkid1 libselinux1  # the guest's systemd-udevd runs with the host's libraries
)

group="${1:-test}"
case "$group" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: install-deps.sh run|package|test" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ($group): ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package: the architecture must be known before the update.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
