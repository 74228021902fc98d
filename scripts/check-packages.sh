#!/usr/bin/env bash
# The packages as users get them, checked outside the build tree (what
# `make test` runs after `make package`):
#   - an install into a DESTDIR (another prefix, /opt/torvane) and the .deb
#     unpacked with dpkg-deb -x: the programs load their private libraries,
#     list the attached converters of a fake sysfs tree by default and the
#     simulated set on request, and a C program builds and runs against
#     winseria through pkg-config and through find_package;
#   - lintian accepts the .deb without errors;
#   - the Windows zip, unpacked into a fresh Wine prefix with a stand-in for
#     the vendor's FTD2XX.DLL in its system folder: no simulated FTD2XX.DLL
#     beside the programs, torvane-list.exe uses the system's library, and
#     torvane-list.exe --demo lists the simulated set from demo\ all the same.
# Usage: check-packages.sh [build dir of the Linux Release build]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/linux-release}"
packages="$root/build/packages"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The attached converters are expected by default.
unset TORVANE_SIM
fail() { echo "check-packages.sh: $*" >&2; exit 1; }
tab=$'\t'
# The first device of the built-in simulated set, as torvane-list prints it.
simulated_row="^COM3${tab}USB Serial Converter${tab}2\.12\.04${tab}FT4XK2A1$"

# A sysfs tree with one FT232R (serial TVPKG001) whose node is ttyUSB3, COM36.
make_fake_sysfs() {
  local sys=$1 device=$1/devices/pci0000:00/0000:00:14.0/usb1/1-1
  mkdir -p "$device/1-1:1.0/ttyUSB3/tty/ttyUSB3" "$sys/bus/usb/devices"
  echo 0403 > "$device/idVendor"
  echo 6001 > "$device/idProduct"
  echo 0600 > "$device/bcdDevice"
  echo "FT232R USB UART" > "$device/product"
  echo TVPKG001 > "$device/serial"
  echo 00 > "$device/1-1:1.0/bInterfaceNumber"
  ln -s "$device" "$sys/bus/usb/devices/1-1"
  ln -s "$device/1-1:1.0" "$sys/bus/usb/devices/1-1:1.0"
}

# The installed tree under <prefix>: programs, their libraries, the consumers.
check_installed() {
  local prefix=$1 name=$2 program loaded out
  for program in torvane1 torvane-list; do
    loaded=$(ldd "$prefix/bin/$program" | awk '$1 == "libftd2xx.so" { print $3 }')
    [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$prefix/lib/torvane/libftd2xx.so")" ] ||
      fail "$name: $program loads '$loaded', not $prefix/lib/torvane/libftd2xx.so"
  done
  out=$(TORVANE_SYSFS_ROOT="$work/sys" "$prefix/bin/torvane-list")
  grep -Eq "^COM36${tab}FT232R USB UART${tab}[^${tab}]*${tab}TVPKG001$" <<<"$out" ||
    fail "$name: the attached converter is not listed: $out"
  out=$(TORVANE_SYSFS_ROOT="$work/sys" "$prefix/bin/torvane-list" --demo)
  grep -Eq "$simulated_row" <<<"$out" ||
    fail "$name: the simulated set is not listed: $out"

  # pkg-config: the C example, outside the tree.
  mkdir -p "$work/$name"
  [ "$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion winseria)" = 3.0 ] ||
    fail "$name: pkg-config does not find winseria 3.0"
  # shellcheck disable=SC2046
  cc -std=c99 -o "$work/$name/pkgconfig-consumer" "$work/examples/winseria_pty.c" \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs winseria)
  LD_LIBRARY_PATH="$prefix/lib" "$work/$name/pkgconfig-consumer" >/dev/null ||
    fail "$name: the pkg-config consumer failed"

  # find_package(winseria): the same program through the CMake package.
  cmake -S "$work/examples/find_package" -B "$work/$name/cmake" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/$name/cmake" >/dev/null
  "$work/$name/cmake/winseria_consumer" >/dev/null || fail "$name: the find_package consumer failed"
  echo "check-packages.sh: $name: programs, private libraries, pkg-config and CMake consumers OK"
}

# The zip in drive C: of a new Wine prefix whose system folder holds a
# stand-in for the vendor's FTD2XX.DLL (no device, library 9.09.09): by
# default the programs use it; --demo must reach demo\ all the same.
check_zip() {
  local zip=$1 prefix="$work/wineprefix" wine="$root/scripts/win32-wine.sh" name out
  name=$(basename "$zip" .zip)
  bash "$wine" "$prefix" --init
  i686-w64-mingw32-gcc-posix -std=c99 -O2 -shared -s -static-libgcc -Wl,--kill-at \
    -o "$prefix/drive_c/windows/system32/FTD2XX.DLL" "$root/tests/packaging/vendor_standin.c"
  unzip -q "$zip" -d "$prefix/drive_c"
  [ ! -e "$prefix/drive_c/$name/FTD2XX.DLL" ] || fail "zip: the simulated FTD2XX.DLL lies beside the programs"
  local folder="C:\\$name"
  out=$(bash "$wine" "$prefix" "$folder\torvane-list.exe" | tr -d '\r')
  grep -q "^Wersja biblioteki FTD2XX.DLL: 9.09.09$" <<<"$out" ||
    fail "zip: torvane-list.exe does not use the system's FTD2XX.DLL: $out"
  out=$(bash "$wine" "$prefix" "$folder\torvane-list.exe" --demo | tr -d '\r')
  grep -Eq "$simulated_row" <<<"$out" ||
    fail "zip: torvane-list.exe --demo does not list the simulated set: $out"
  WINEPREFIX="$prefix" "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -w 2>/dev/null || true
  echo "check-packages.sh: zip: torvane-list.exe over the system's FTD2XX.DLL, --demo over demo\ OK"
}

make_fake_sysfs "$work/sys"
cp -r "$root/examples" "$work/examples"

DESTDIR="$work/destdir" cmake --install "$build" --prefix /opt/torvane >/dev/null
check_installed "$work/destdir/opt/torvane" destdir

deb=$(ls "$packages"/torvane_*.deb)
dpkg-deb -x "$deb" "$work/deb"
check_installed "$work/deb/usr" deb
# The warnings that remain are explained in docs/packaging.md.
status=0
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || fail "lintian reports errors in $deb"

check_zip "$(ls "$packages"/torvane-*-win32.zip)"
