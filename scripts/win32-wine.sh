#!/usr/bin/env bash
# Runs a Windows program of the 32-bit build under Wine, in TORVANE's own Wine
# prefix (never the user's ~/.wine). CMake uses it as the emulator of the
# cross build, so CTest runs every Windows test through it.
#
#   win32-wine.sh PREFIX PROGRAM [ARGUMENTS...]
#   win32-wine.sh PREFIX --init      (only make sure the prefix exists)
#
# PREFIX is created on first use (wineboot), under a lock so that parallel
# tests wait for one another. Wine's own chatter is silenced (WINEDEBUG=-all)
# unless WINEDEBUG is set; Wine's Mono and Gecko installers are never offered.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
prefix=$1
shift

# Debian installs the loader as /usr/lib/wine/wine (wine32) and the front end
# as wine-stable; other systems call it wine. Prints the first that exists.
first_command() {
  local candidate
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null 2>&1; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}
torvane_wine() {
  first_command wine wine-stable /usr/lib/wine/wine && return 0
  echo "win32-wine.sh: Wine is not installed (scripts/install-deps.sh installs it)" >&2
  return 1
}
torvane_wineserver() { first_command wineserver wineserver-stable /usr/lib/wine/wineserver; }

wine=$(torvane_wine)
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The prefix is 32-bit: the program and its tests are 32-bit, and Debian's
# wine32 is all that is needed.
export WINEARCH=win32

if [ ! -f "$WINEPREFIX/.torvane-ready" ]; then
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.torvane-ready" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    if server=$(torvane_wineserver); then "$server" -w || true; fi
    [ -f "$WINEPREFIX/system.reg" ] || { echo "win32-wine.sh: wineboot did not create $WINEPREFIX" >&2; exit 1; }
    touch "$WINEPREFIX/.torvane-ready"
  fi
  exec 9>&-
fi

[ "$1" = --init ] && exit 0

# Start the prefix's server here, detached from this program's output: a
# server that a test program starts inherits the test's stdout and stderr,
# which then stay open (and CTest waiting) until the server exits. It
# lingers 5 s after its last client; a server already running is kept.
if server=$(torvane_wineserver); then
  "$server" -p5 </dev/null >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
