#!/usr/bin/env bash
# Runs kelbrun-sim --check on one device description and compares what it printed, byte for
# byte, with the description's expected.check. The exit status must say what the last line
# says: 1 when it counts errors, 0 when it counts none; and nothing goes to standard error.
#
# usage: run_check_case.sh KELBRUN_SIM CASE_DIR
set -euo pipefail

source "$(dirname "$0")/../tools/device_case_args.sh"

sim=$1
case_dir=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The findings name the files of the description by their paths as given; expected.check holds
# them relative to the description's folder, wherever it is.
folder=$(cd "$case_dir" && pwd)
read_case_args "$folder"
status=0
"$sim" "${case_args[@]}" --check 2> "$scratch/err" | sed "s|$folder/||g" > "$scratch/out" ||
    status=${PIPESTATUS[0]}

failed=0
want_status=1
if tail -n 1 "$case_dir/expected.check" | grep -q '^check: 0 errors,'; then
    want_status=0
fi
if [[ $status -ne $want_status ]]; then
    echo "exit status $status, expected $want_status"
    failed=1
fi
if [[ -s $scratch/err ]]; then
    echo "standard error is not empty:"
    cat "$scratch/err"
    failed=1
fi
if ! cmp -s "$case_dir/expected.check" "$scratch/out"; then
    echo "standard output differs from $case_dir/expected.check:"
    diff <(cat -A "$case_dir/expected.check") <(cat -A "$scratch/out") || true
    failed=1
fi
exit $failed
