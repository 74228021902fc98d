#!/usr/bin/env bash
# A bounded libFuzzer run of every fuzz target in a build made with the
# linux-fuzz preset: TORVANE_FUZZ_SECONDS in all (150 by default, so that CI
# spends about two and a half minutes fuzzing), shared out among the targets.
# A target's <name>.dict beside it is its dictionary, <name>.seeds/ its seed
# inputs (read, never written). Exits non-zero when a target crashes, leaks, times out or
# breaks one of its checked properties; the input that did it is kept under
# <build>/fuzz-artifacts/.
set -euo pipefail

build="${1:-build/linux-fuzz}"
total="${TORVANE_FUZZ_SECONDS:-150}"

mapfile -t targets < <(find "$build/fuzz" -type f -name '*_fuzzer' -perm -u+x 2>/dev/null | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "run-fuzz: no fuzz target under $build/fuzz" >&2
  exit 1
fi

share=$(( total / ${#targets[@]} ))
[ "$share" -ge 10 ] || share=10
mkdir -p "$build/fuzz-artifacts"

for target in "${targets[@]}"; do
  name="$(basename "$target")"
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  extra=()
  [ -f "$target.dict" ] && extra+=("-dict=$target.dict")
  seeds=()
  [ -d "$target.seeds" ] && seeds+=("$target.seeds")
  echo "run-fuzz: $name for ${share}s"
  # A hard stop well past the budget, in case a run hangs outside libFuzzer's own limits.
  timeout --kill-after=10 $(( share + 60 )) "$target" "$corpus" "${seeds[@]}" "${extra[@]}" \
    -max_total_time="$share" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" 2>"$build/fuzz-artifacts/$name.log" || {
      status=$?
      tail -n 40 "$build/fuzz-artifacts/$name.log" >&2
      echo "run-fuzz: $name failed (exit $status)" >&2
      exit 1
    }
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz-artifacts/$name.log" || true
done
echo "run-fuzz: ${#targets[@]} target(s) ran without a fault"
