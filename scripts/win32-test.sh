#!/usr/bin/env bash
# The 32-bit Windows build and its tests under Wine, in one command:
# configure (preset win32), build, run every test through Wine (CTest's
# emulator), and leave no Wine process behind. The Wine prefix lives in
# build/win32/wineprefix and is created on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

# Every Wine program of the run shares one X display: Wine's desktop process
# binds to the display of the program that starts it, and windows of later
# programs under another display (or none) would find no window driver.
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "win32-test.sh: xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
server=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
# A server of an earlier run (bound to its display) ends first.
WINEPREFIX=$PWD/build/win32/wineprefix "$server" -w 2>/dev/null || true

cmake --preset win32
cmake --build --preset win32 -j "$jobs"
status=0
ctest --preset win32 -j "$jobs" || status=$?

# The prefix's server lingers a few seconds after its last program: wait for
# it to end rather than leave it running.
WINEPREFIX=$PWD/build/win32/wineprefix "$server" -w 2>/dev/null || true
exit "$status"
