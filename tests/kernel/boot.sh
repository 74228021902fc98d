#!/usr/bin/env bash
# The fixture of the kernel tests: one guest boot that runs every check.
#   boot.sh SOURCE_DIR BUILD_DIR RESULTS_DIR [CHECK...]
set -euo pipefail
src=$(realpath "$1") build=$(realpath "$2") results=$3
shift 3
rm -rf "$results"; mkdir -p "$results"; results=$(realpath "$results")
exec bash "$src/scripts/kernel-guest.sh" --cache "$build/kernel-guest/cache" --timeout 240 \
  --share "$build" --share-ro "$src" --trace "$results/qemu-trace.log" \
  -- bash "$src/tests/kernel/guest-run.sh" "$src" "$build" "$results" "$@"
