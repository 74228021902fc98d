#!/usr/bin/env bash
# Both platforms configured and built as a packager or an IDE does, without
# a preset: CMAKE_BUILD_TYPE=Release alone natively, and the toolchain file
# with it for Windows. The sources are a fresh copy of the tree's files and
# each build folder lies beside it; afterwards nothing may have appeared or
# changed outside the build folders: not in the copy of the sources, not
# beside them, not at the top of the file system or of the home folder (what
# `make test` runs).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${JOBS:-$(nproc)}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-no-preset-build.sh: $*" >&2; exit 1; }

# The tree's files (committed or not, as git sees them), without any build.
mkdir "$work/src"
git -C "$root" ls-files -z --cached --others --exclude-standard |
  tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$work/src" -xf -
[ -f "$work/src/CMakeLists.txt" ] || fail "the sources were not copied"

# Everything under the sources and the work folder; the names at the top of /
# and of the home folder.
snapshot() {
  (cd "$work" && find . -mindepth 1 -path ./build-linux -prune -o -path ./build-win32 -prune -o \
     -printf '%p %s %T@\n' | sort)
  find / "$HOME" -mindepth 1 -maxdepth 1 -not -path /proc -not -path /tmp | sort
}
before="$(snapshot)"

cmake -S "$work/src" -B "$work/build-linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build-linux" -j "$jobs" >/dev/null
cmake -S "$work/src" -B "$work/build-win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
cmake --build "$work/build-win32" -j "$jobs" >/dev/null

after="$(snapshot)"
if [ "$before" != "$after" ]; then
  diff <(echo "$before") <(echo "$after") >&2 || true
  fail "the builds wrote outside their build folders (above)"
fi
# The Windows build tree keeps its usual layout without the preset.
for file in bin/torvane1.exe bin/torvane-list.exe bin/winseria.dll bin/demo/FTD2XX.DLL \
            bin/demo/torvane1.exe bin/demo/torvane-list.exe; do
  [ -f "$work/build-win32/$file" ] || fail "build-win32/$file is missing"
done
echo "check-no-preset-build.sh: Linux and Windows Release builds without a preset wrote only into their build folders"
