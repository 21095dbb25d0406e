#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang 14 with libFuzzer, ASan and
# UBSan) and runs each for a bounded time on a copy of its seeds from the
# regression corpus. Usage: scripts/fuzz.sh [SECONDS per target] [TARGET...]
# (10 s by default). With QUILL_FUZZ_RUNS=N each target runs at most N
# inputs from a fixed seed, so that a short run (CI's) gives the same result
# every time; the seconds still cap it. A finding stops the run with the
# crashing input saved as build/fuzz/findings/<target>/crash-*, and this
# script exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
shift || true
bash scripts/install-deps.sh
cmake --preset fuzz > build-fuzz-configure.log 2>&1 || { cat build-fuzz-configure.log; exit 1; }
rm -f build-fuzz-configure.log
cmake --build --preset fuzz

out=build/fuzz
bin=$out/fuzz
status=0
repeatable=()
if [[ -n "${QUILL_FUZZ_RUNS:-}" ]]; then repeatable=(-seed=1 -runs="$QUILL_FUZZ_RUNS"); fi
while read -r target seeds; do
  [[ -z "$target" ]] && continue
  if (($# > 0)) && [[ " $* " != *" $target "* ]]; then continue; fi
  # The fuzzer adds what it finds to the working corpus, never to the
  # repository's seeds.
  work="$out/corpus/$target"
  findings="$out/findings/$target"
  mkdir -p "$work" "$findings"
  if [[ "$seeds" != "-" ]]; then
    IFS=, read -r -a folders <<< "$seeds"
    for folder in "${folders[@]}"; do cp -r "$folder"/. "$work"/; done
  fi
  log="$out/findings/$target.log"
  echo "fuzz: $target for $seconds s"
  if ASAN_OPTIONS=detect_leaks=0 "$bin/$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 "${repeatable[@]}" \
      -artifact_prefix="$findings/" "$work" > "$log" 2>&1; then
    runs=$(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz: $target ran ${runs:-?} inputs, no finding"
  else
    status=1
    echo "fuzz: $target FOUND A FAULT (input in $findings/):"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 20
  fi
done < "$bin/targets.txt"
exit $status
