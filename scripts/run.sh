#!/usr/bin/env bash
# Runs the TORVANE window built in build/linux (what `make run` and `make demo`
# call after building).
#
#   TORVANE_DEMO=1        list the simulated device set (the built-in one, or the
#                         scenario TORVANE_SIM names) instead of the attached
#                         converters
#   TORVANE_BUILD_DIR     build tree to run from (default: build/linux)
#   TORVANE_SCREENSHOT    where the unattended run saves its screenshot
#                         (default: build/screenshots/torvane-linux.png)
#
# With a display the window opens and the script returns when it closes.
# Without one (a server, CI) the window runs in a virtual X server: after its
# first refresh it saves a screenshot, prints the PNG's path, the grid (one
# row a line, cells separated by tabs) and the label, closes, and the script
# exits 0. Message boxes that come up meanwhile are printed on stderr and
# closed, since nobody is there to close them.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TORVANE_BUILD_DIR:-$root/build/linux}"
program="$build/app/qt/torvane1"

if [ ! -x "$program" ]; then
  echo "run.sh: $program is not built (make build)" >&2
  exit 1
fi

# The program lists the attached converters unless asked for the simulation
# (--demo); it then starts itself again over the simulated library.
args=()
[ "${TORVANE_DEMO:-}" = 1 ] && args+=(--demo)

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "${args[@]}"
fi

if ! command -v xvfb-run >/dev/null; then
  echo "run.sh: no display and no xvfb-run (apt-get install xvfb xauth)" >&2
  exit 1
fi
# Qt wants a private runtime directory; a bare server session has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
screenshot="${TORVANE_SCREENSHOT:-$root/build/screenshots/torvane-linux.png}"
mkdir -p "$(dirname "$screenshot")"
# Bounded: an unattended run that hangs must not hold a CI job for ever.
TORVANE_SCREENSHOT="$screenshot" TORVANE_EXIT_AFTER_SCREENSHOT=1 \
  timeout 120 xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$program" "${args[@]}"
