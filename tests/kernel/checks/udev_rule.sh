#!/usr/bin/env bash
# The packaged udev rule, applied by Debian's systemd-udevd (the only rule the
# guest has): every FTDI node gets group dialout, mode 0660; the 16550's
# /dev/ttyS1, which the rule does not name, keeps devtmpfs's root 0600.
fail=0
expect() {
  local seen; seen=$(stat -c '%G %a' "$1")
  if [ "$seen" = "$2" ]; then echo "ok   $1: $seen"; else echo "FAIL $1: $seen (expected $2)"; fail=1; fi
}
[ -S /run/udev/control ] || { echo "FAIL no udev daemon"; exit 1; }
for n in /dev/ttyUSB*; do expect "$n" "dialout 660"; done
expect /dev/ttyS1 "root 600"
exit $fail
