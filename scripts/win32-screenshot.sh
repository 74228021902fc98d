#!/usr/bin/env bash
# Starts torvane1.exe under Wine (in a virtual X server when there is no
# display), checks that its window opens with the caption "TORVANE wer. 1.00",
# keeps a screenshot of it, then closes it with its "Zamknij" button and
# checks that the program ends.
#
#   win32-screenshot.sh TORVANE1_EXE PREFIX OUT.png
#
# The window lists the simulated FTD2XX.DLL's demo set (TORVANE_SIM unset).
set -euo pipefail
exe=$1
prefix=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/win32-wine.sh
caption="TORVANE wer. 1.00"

if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "win32-screenshot.sh: xvfb-run is missing" >&2; exit 1; }
  exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
for tool in xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "win32-screenshot.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

"$runner" "$prefix" --init
# Without a window manager Wine draws the frame and caption itself for this
# program only (so that the screenshot shows them).
"$runner" "$prefix" reg add 'HKCU\Software\Wine\AppDefaults\torvane1.exe\X11 Driver' /v Managed /d N /f \
  >/dev/null 2>&1

TORVANE_SIM= "$runner" "$prefix" "$exe" &
program=$!
cleanup() { kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true; }
trap cleanup EXIT

window=
for _ in $(seq 120); do
  window=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || { echo "win32-screenshot.sh: torvane1.exe ended without a window" >&2; exit 1; }
  sleep 0.25
done
[ -n "$window" ] || { echo "win32-screenshot.sh: no window captioned '$caption' within 30 s" >&2; exit 1; }
name=$(xdotool getwindowname "$window")
[ "$name" = "$caption" ] || { echo "win32-screenshot.sh: caption is '$name'" >&2; exit 1; }
echo "window $window: '$name'"

# Let the first refresh paint the grid, then take the window with a margin.
sleep 2
geometry=$(xwininfo -id "$window")
x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geometry")
width=$(awk '/Width:/ {print $NF}' <<<"$geometry")
height=$(awk '/Height:/ {print $NF}' <<<"$geometry")
echo "geometry ${width}x${height}+${x}+${y}"
mkdir -p "$(dirname "$out")"
margin=8
import -window root -crop "$((width + 2 * margin))x$((height + 2 * margin))+$((x - margin))+$((y - margin))" +repage "$out"
echo "screenshot: $out"

# "Zamknij" sits at (248, 168) in the client area, 75 x 25; the frame Wine
# draws adds its border and caption above and left of the client area.
client_left=$(( x + (width - 473) / 2 ))
client_top=$(( y + height - 201 - (width - 473) / 2 ))
xdotool mousemove $((client_left + 248 + 37)) $((client_top + 168 + 12)) click 1
for _ in $(seq 60); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.25
done
if kill -0 "$program" 2>/dev/null; then
  echo "win32-screenshot.sh: torvane1.exe still runs 15 s after \"Zamknij\"" >&2
  exit 1
fi
wait "$program" || { echo "win32-screenshot.sh: torvane1.exe ended with status $?" >&2; exit 1; }
trap - EXIT
echo "closed by \"Zamknij\""
