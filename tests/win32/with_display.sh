#!/usr/bin/env bash
# Runs a command with an X display for Wine's windows: the caller's display
# when there is one, else a virtual X server (xvfb-run) for the command alone.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
command -v xvfb-run >/dev/null || { echo "with_display.sh: xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
