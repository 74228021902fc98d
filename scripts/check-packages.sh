#!/usr/bin/env bash
# The packages as users get them, checked outside the build tree (what
# `make test` runs after `make package`):
#   - an install into a DESTDIR (another prefix, /opt/torvane) and the four
#     .debs unpacked together with dpkg-deb -x: the programs load their
#     private libraries, list the attached converters of a fake sysfs tree by
#     default and the simulated set on request, and a C program builds and
#     runs against winseria through pkg-config and through find_package;
#   - the .debs' Depends: each package names the one it takes files from, and
#     the closure of torvane-list and libwinseria3 (through apt-cache) holds
#     no Qt, X11 or GL package;
#   - lintian --pedantic: no error or warning, every info tag explained in
#     docs/packaging.md;
#   - the Windows zip carries LICENSE.txt and README.txt with CRLF line ends;
#     unpacked into a fresh Wine prefix with a stand-in for
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

# The installed tree under <prefix>, which was installed for <installed prefix>
# and may lie elsewhere: programs, their libraries, the consumers.
check_installed() {
  local prefix=$1 installed=$2 name=$3 program loaded out flags
  local libdir="$prefix/lib/$triplet"
  for program in torvane1 torvane-list; do
    loaded=$(ldd "$prefix/bin/$program" | awk '$1 == "libftd2xx.so" { print $3 }')
    [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/torvane/libftd2xx.so")" ] ||
      fail "$name: $program loads '$loaded', not $libdir/torvane/libftd2xx.so"
  done
  out=$(TORVANE_SYSFS_ROOT="$work/sys" "$prefix/bin/torvane-list")
  grep -Eq "^COM36${tab}FT232R USB UART${tab}[^${tab}]*${tab}TVPKG001$" <<<"$out" ||
    fail "$name: the attached converter is not listed: $out"
  out=$(TORVANE_SYSFS_ROOT="$work/sys" "$prefix/bin/torvane-list" --demo)
  grep -Eq "$simulated_row" <<<"$out" ||
    fail "$name: the simulated set is not listed: $out"

  # pkg-config: clean paths under the prefix it was installed for (none
  # for /usr, a system folder), then the C example built from the tree
  # where it lies and run as README says (LD_LIBRARY_PATH).
  export PKG_CONFIG_PATH="$libdir/pkgconfig"
  [ "$(pkg-config --modversion winseria)" = 3.0 ] || fail "$name: pkg-config does not find winseria 3.0"
  flags=$(pkg-config --cflags --libs winseria | sed "s/ *$//")
  if [ "$installed" = /usr ]; then
    [ "$flags" = "-lwinseria" ] || fail "$name: pkg-config prints '$flags'"
  else
    [ "$flags" = "-I$installed/include -L$installed/lib/$triplet -lwinseria" ] ||
      fail "$name: pkg-config prints '$flags'"
  fi
  mkdir -p "$work/$name"
  # shellcheck disable=SC2046
  cc -std=c99 -o "$work/$name/pkgconfig-consumer" "$work/examples/winseria_pty.c" \
    $(pkg-config --define-variable=prefix="$prefix" --cflags --libs winseria)
  unset PKG_CONFIG_PATH
  LD_LIBRARY_PATH="$libdir" "$work/$name/pkgconfig-consumer" >/dev/null ||
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

# The names in a package's Depends (versions and alternatives dropped).
depends_of() {
  dpkg-deb -f "$1" Depends | tr ',|' '\n' | sed -e 's/(.*)//' -e 's/ //g' -e 's/:any$//' | sed '/^$/d'
}

# Every package the given packages need, recursively, by name.
closure() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$@" 2>/dev/null |
    sed -n -e 's/^[[:space:]]*|\{0,1\}\(Pre\)\{0,1\}Depends: <\{0,1\}\([^>]*\)>\{0,1\}$/\2/p' -e 's/^\([^[:space:]].*\)$/\1/p' |
    sed 's/:.*//' | sort -u
}
desktop='^(libqt|qt6-|qt5-|libx11|libxcb|libxext|libxrender|libxkb|libwayland|libgl|libegl|libgbm|libdrm|libopengl|mesa|libllvm|x11-|xserver)'

check_debs() {
  local deb want names lean
  for deb in libwinseria3 libwinseria-dev torvane-list torvane; do
    [ -f "$packages/${deb}_${version}_${arch}.deb" ] || fail "no $deb package"
    dpkg-deb -x "$packages/${deb}_${version}_${arch}.deb" "$work/deb"
  done
  # Each package that takes another's files depends on that exact version.
  for want in "libwinseria-dev libwinseria3 (= $version)" "torvane torvane-list (= $version)"; do
    deb=${want%% *}
    dpkg-deb -f "$packages/${deb}_${version}_${arch}.deb" Depends | grep -qF "${want#* }" ||
      fail "$deb does not depend on ${want#* }"
  done

  # The lister and the library never bring the desktop: their closure has
  # no Qt, X11 or GL package. The same look must find Qt under torvane,
  # or it proves nothing (apt's package lists missing, say).
  names=$(for deb in libwinseria3 torvane-list; do depends_of "$packages/${deb}_${version}_${arch}.deb"; done)
  # shellcheck disable=SC2086
  lean=$(closure $names)
  grep -qx libc6 <<<"$lean" || fail "apt-cache finds no libc6 among the lister's dependencies (apt-get update?)"
  if grep -Ex "$desktop.*" <<<"$lean"; then
    fail "torvane-list or libwinseria3 brings the packages above"
  fi
  # shellcheck disable=SC2046
  closure $(depends_of "$packages/torvane_${version}_${arch}.deb") | grep -q '^libqt6widgets6' ||
    fail "the closure of torvane names no Qt: the look at dependencies is blind"
  echo "check-packages.sh: debs: Depends as split, torvane-list + libwinseria3 need $(wc -l <<<"$lean") packages, none of Qt, X11 or GL"
}

# lintian --pedantic: no error, no warning, and each info tag left is
# explained in docs/packaging.md.
check_lintian() {
  local report tag status=0
  report=$(lintian --pedantic -I -E --fail-on error,warning --tag-display-limit 0 \
    "$packages"/*_"${version}_${arch}".deb 2>&1) || status=$?
  report=$(grep -v 'running with root privileges' <<<"$report" || true)
  [ -z "$report" ] || echo "$report"
  if [ "$status" -ne 0 ] || grep -E '^[EW]:' <<<"$report"; then
    fail "lintian reports errors or warnings (above)"
  fi
  for tag in $(sed -n 's/^[IPX]: [^ ]*: \([^ ]*\).*/\1/p' <<<"$report" | sort -u); do
    grep -qF "\`$tag\`" "$root/docs/packaging.md" || fail "lintian's $tag is not explained in docs/packaging.md"
  done
  echo "check-packages.sh: lintian --pedantic: no error or warning on the four packages"
}

# The zip's texts have Windows line ends; LICENSE.txt is the licence.
check_zip_texts() {
  local zip=$1 name text
  name=$(basename "$zip" .zip)
  for text in LICENSE.txt README.txt; do
    unzip -p "$zip" "$name/$text" > "$work/$text"
    [ -s "$work/$text" ] || fail "zip: no $text"
    ! grep -qv $'\r$' "$work/$text" || fail "zip: $text has lines without CRLF ends"
  done
  tr -d '\r' < "$work/LICENSE.txt" | cmp -s - "$root/LICENSE" || fail "zip: LICENSE.txt is not LICENSE"
  echo "check-packages.sh: zip: LICENSE.txt and README.txt with CRLF ends"
}

arch=$(dpkg --print-architecture)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
version=$(sed -n 's/^project(torvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
make_fake_sysfs "$work/sys"
cp -r "$root/examples" "$work/examples"

DESTDIR="$work/destdir" cmake --install "$build" --prefix /opt/torvane --strip >/dev/null
check_installed "$work/destdir/opt/torvane" /opt/torvane destdir

check_debs
check_installed "$work/deb/usr" /usr deb
check_lintian

zip=$(ls "$packages"/torvane-*-win32.zip)
check_zip_texts "$zip"
check_zip "$zip"
