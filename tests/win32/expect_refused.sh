#!/usr/bin/env bash
# Passes when a check refuses a file with exit status 1 and names the
# expected fault:
#   expect_refused.sh CHECK_SCRIPT FILE FAULT_TEXT
set -uo pipefail
output=$(bash "$1" "$2" 2>&1)
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "expected exit status 1, got $status" >&2; exit 1; }
grep -qF -- "$3" <<<"$output" || { echo "expected the fault: $3" >&2; exit 1; }
