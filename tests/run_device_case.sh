#!/usr/bin/env bash
# Runs kelbrun-sim on one device description and compares what it printed, byte for byte,
# with the description's expected.out (the trail) and expected.err (the events).
#
# usage: run_device_case.sh KELBRUN_SIM CASE_DIR [KELBRUN_SIM OPTIONS...]
# A case folder holds device.reg, root/ (the device's root folder), optionally args (extra
# kelbrun-sim arguments, one a line), expected.out and expected.err.
set -euo pipefail

source "$(dirname "$0")/../tools/device_case_args.sh"

sim=$1
case_dir=$2

read_case_args "$case_dir"
args=(--no-wait "${case_args[@]}" "${@:3}")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
"$sim" "${args[@]}" > "$scratch/out" 2> "$scratch/err" || status=$?

failed=0
if [[ $status -ne 0 ]]; then
    echo "exit status $status, expected 0"
    failed=1
fi
# On a unit's own coredll.dll, the lines COREDLL writes itself, and the kernel's word on what it
# made up for it, stand apart from the launcher's report, which is compared as the model's.
for option in "${@:3}"; do
    if [[ $option == --coredll ]]; then
        grep -v '^sim: coredll\.dll' "$scratch/err" > "$scratch/err.launcher" || true
        mv "$scratch/err.launcher" "$scratch/err"
    fi
done
for stream in out err; do
    if ! cmp -s "$case_dir/expected.$stream" "$scratch/$stream"; then
        echo "standard ${stream/err/error}${stream/out/put} differs from $case_dir/expected.$stream:"
        diff <(cat -A "$case_dir/expected.$stream") <(cat -A "$scratch/$stream") || true
        failed=1
    fi
done
exit $failed
