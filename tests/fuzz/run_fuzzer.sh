#!/usr/bin/env bash
# Runs one fuzz target: first over every kept input (seeds and past crashes, which
# must all pass), then for a set time from them.
#   run_fuzzer.sh FUZZER SEED_DIR SECONDS CRASH_DIR
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3 crashes=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$fuzzer" -runs=0 "$seeds"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$crashes/$(basename "$fuzzer")-" -print_final_stats=1 "$work" "$seeds"
