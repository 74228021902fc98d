#!/usr/bin/env bash
# Runs every benchmark program of a build (default build/linux) one after the
# other and prints their tables. Extra arguments go to each program, e.g.
# --benchmark_filter=Refresh or --benchmark_format=json.
set -euo pipefail

build="${1:-build/linux}"
shift || true

mapfile -t programs < <(find "$build/bench" -type f -perm -u+x -name '*_bench' 2>/dev/null | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "run-bench: no benchmark program under $build/bench (build with the linux preset first)" >&2
  exit 1
fi

for program in "${programs[@]}"; do
  echo "== $(basename "$program")"
  "$program" "$@"
done

# The serial library's bench once more on a single CPU (the pyserial child
# inherits the affinity): a hand-over that relies on a second CPU shows there.
serial_bench="$build/bench/serial/winseria_bench"
if [ -x "$serial_bench" ] && command -v taskset >/dev/null; then
  echo "== winseria_bench on one CPU (taskset -c 0)"
  taskset -c 0 "$serial_bench" "$@"
fi
