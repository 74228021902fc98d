#!/usr/bin/env bash
# Runs a Windows GoogleTest program under Wine with two COM ports of the Wine
# prefix linked to the two ends of a pseudo-terminal pair (socat): COM5 is
# the port the library opens, COM6 the test's own end of the line. No real
# serial device is ever involved.
#
#   with_pty_pair.sh WINE_RUNNER PREFIX PROGRAM
#
# Every test case runs in a process of its own on a fresh pair: a pty does
# not keep the parity flag, and Wine then refuses (error 87) a second
# SetCommState with parity on the same pty (docs/windows.md).
set -euo pipefail
runner=$1
prefix=$2
program=$3
library_port=5
peer_port=6

command -v socat >/dev/null || { echo "with_pty_pair.sh: socat is missing (scripts/install-deps.sh)" >&2; exit 1; }
"$runner" "$prefix" --init

links=$(mktemp -d)
socat_pid=
stop_pair() {
  exec 7>&- 8>&- || true
  if [ -n "$socat_pid" ]; then
    kill "$socat_pid" 2>/dev/null || true
    wait "$socat_pid" 2>/dev/null || true
    socat_pid=
  fi
  rm -f "$prefix/dosdevices/com$library_port" "$prefix/dosdevices/com$peer_port" "$links/a" "$links/b"
}
trap 'stop_pair; rm -rf "$links"' EXIT

start_pair() {
  socat "pty,rawer,link=$links/a" "pty,rawer,link=$links/b" &
  socat_pid=$!
  for _ in $(seq 100); do
    [ -e "$links/a" ] && [ -e "$links/b" ] && break
    sleep 0.05
  done
  [ -e "$links/a" ] && [ -e "$links/b" ] || { echo "with_pty_pair.sh: socat made no pty pair" >&2; return 1; }
  local a b
  a=$(readlink -f "$links/a")
  b=$(readlink -f "$links/b")
  # Holding each end open here keeps socat alive while the program under
  # test closes and reopens its port (a pty whose last opener leaves ends
  # the pair).
  exec 7<>"$a" 8<>"$b"
  ln -sfn "$a" "$prefix/dosdevices/com$library_port"
  ln -sfn "$b" "$prefix/dosdevices/com$peer_port"
}

# The listing comes with CRLF line ends: "Suite." lines, then "  Case" lines.
mapfile -t cases < <("$runner" "$prefix" "$program" --gtest_list_tests | tr -d '\r' |
  awk '/^[^ ]/ {suite = $1; next} /^  [^ ]/ {print suite $1}')
[ "${#cases[@]}" -gt 0 ] || { echo "with_pty_pair.sh: $program lists no test" >&2; exit 1; }

failed=0
for case in "${cases[@]}"; do
  start_pair
  TORVANE_PORTS_DIR=$links TORVANE_WINE_PORT=$library_port TORVANE_WINE_PEER=$peer_port \
    "$runner" "$prefix" "$program" --gtest_filter="$case" || failed=$((failed + 1))
  stop_pair
done
echo "with_pty_pair.sh: $((${#cases[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
