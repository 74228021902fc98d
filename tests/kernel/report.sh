#!/bin/sh
# One kernel check's CTest test: prints what the check printed in the guest
# and exits with its status (a check that did not run fails).
#   report.sh RESULTS_DIR CHECK
[ -f "$1/$2.status" ] || { echo "the check $2 did not run in the guest (see the test kernel.boot)"; exit 1; }
cat "$1/$2.log"
exit "$(cat "$1/$2.status")"
