#!/usr/bin/env bash
# Runs each reader fuzzer for a bounded time, one after the other, and prints
# its executions. Usage: fuzz/run.sh BUILD_DIR SECONDS [HARNESS...]
# New inputs go to BUILD_DIR/fuzz/corpus/<harness> (the committed seeds in
# fuzz/corpus/<harness> are only read); a failing input is saved as
# BUILD_DIR/fuzz/artifacts/<harness>/crash-* and stops the run.
set -euo pipefail

build=$1
seconds=$2
shift 2
harnesses=("$@")
((${#harnesses[@]})) || harnesses=(gmt_reader number_text cache_reader expression_matrix)
here=$(cd "$(dirname "$0")" && pwd)

for h in "${harnesses[@]}"; do
  corpus=$build/fuzz/corpus/$h
  artifacts=$build/fuzz/artifacts/$h
  log=$build/fuzz/$h.log
  mkdir -p "$corpus" "$artifacts"
  # Inputs up to 64 KiB cross the readers' 8 KiB and 32 KiB buffer seams.
  if ! "$build/fuzz/${h}_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$here/corpus/$h" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $h FAILED; input saved in $artifacts/" >&2
    exit 1
  fi
  echo "fuzz: $h: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")," \
    "corpus $(ls "$corpus" | wc -l) inputs"
done
