#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time over its checked-in seeds and a working corpus.
# A crash or a broken invariant fails the run and leaves the input in ARTIFACTS.
#
# usage: run_fuzz_target.sh TARGET SECONDS WORK_CORPUS ARTIFACTS SEED_CORPUS
set -euo pipefail
target=$1 seconds=$2 work=$3 artifacts=$4 seeds=$5
name=$(basename "$target")
mkdir -p "$work" "$artifacts"
log=$artifacts/$name.log
status=0
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$work" "$seeds" > "$log" 2>&1 ||
    status=$?
grep -E '^(INFO: Seed|#[0-9]+ +DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$log" || true
if [[ $status -ne 0 ]]; then
    tail -n 40 "$log"
    echo "$name failed; its input is in $artifacts, the whole log in $log"
fi
exit $status
