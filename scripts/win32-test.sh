#!/usr/bin/env bash
# The 32-bit Windows build and its tests under Wine, in one command:
# configure (preset win32), build, run every test through Wine (CTest's
# emulator), and leave no Wine process behind. The Wine prefix lives in
# build/win32/wineprefix and is created on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

cmake --preset win32
cmake --build --preset win32 -j "$jobs"
status=0
ctest --preset win32 -j "$jobs" || status=$?

# The prefix's server lingers a few seconds after its last program: wait for
# it to end rather than leave it running.
server=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
WINEPREFIX=$PWD/build/win32/wineprefix "$server" -w 2>/dev/null || true
exit "$status"
