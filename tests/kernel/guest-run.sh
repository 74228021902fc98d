#!/usr/bin/env bash
# Runs in the guest that scripts/kernel-guest.sh boots: starts udev with the
# packaged rule, then runs the given checks of tests/kernel/checks (an
# executable file each; all of them in name order when none is given), each
# bounded by a time-out, writing
# RESULTS_DIR/<check>.log (its output) and RESULTS_DIR/<check>.status (its
# exit status). Exits 0 once every check has run, whatever they found: the
# CTest test of each check reads its own result.
#
#   guest-run.sh SOURCE_DIR BUILD_DIR RESULTS_DIR [CHECK...]
set -uo pipefail
export KERNEL_SOURCE_DIR=$1 KERNEL_BUILD_DIR=$2 KERNEL_RESULTS_DIR=$3
shift 3
checks_dir=$KERNEL_SOURCE_DIR/tests/kernel/checks
mkdir -p "$KERNEL_RESULTS_DIR"

# udev: Debian's systemd-udevd (in the guest's /udev). The host's rules are
# hidden so that only ours names the group and mode of the nodes; Debian's
# 60-serial.rules, which sets neither, makes /dev/serial/by-id and by-path.
start_udev() {
  mount -t tmpfs rules /usr/lib/udev/rules.d
  cp /udev/60-serial.rules /usr/lib/udev/rules.d/
  mkdir -p /etc/udev/rules.d
  cp "$KERNEL_SOURCE_DIR"/packaging/udev/*.rules /etc/udev/rules.d/
  systemd-udevd --daemon || return 1
  udevadm trigger --action=add && udevadm settle --timeout=10
}
start_udev || echo "guest-run: udev did not start" >&2

if [ $# -eq 0 ]; then
  set -- $(cd "$checks_dir" && ls)
fi
for check in "$@"; do
  name=${check%.*}
  start=$(date +%s.%N)
  timeout -k 2 90 "$checks_dir/$check" > "$KERNEL_RESULTS_DIR/$name.log" 2>&1
  echo $? > "$KERNEL_RESULTS_DIR/$name.status"
  awk -v n="$name" -v s="$(cat "$KERNEL_RESULTS_DIR/$name.status")" -v a="$start" -v b="$(date +%s.%N)" \
    'BEGIN { printf "%s: status %s, %.1f s\n", n, s, b - a }'
done
exit 0
