#!/usr/bin/env bash
# Runs a command that must fail with one line on standard error and nothing on standard output.
#
# usage: expect_one_line.sh STATUS STDERR-PATTERN COMMAND [ARGS...]
set -uo pipefail

want_status=$1
pattern=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$@" > "$scratch/out" 2> "$scratch/err"
status=$?
failed=0
if [[ $status -ne $want_status ]]; then
    echo "exit status $status, expected $want_status"
    failed=1
fi
if [[ $(wc -l < "$scratch/err") -ne 1 ]] || ! grep -Eq "$pattern" "$scratch/err"; then
    echo "standard error is not one line matching $pattern:"
    cat "$scratch/err"
    failed=1
fi
if [[ -s "$scratch/out" ]]; then
    echo "standard output is not empty:"
    cat "$scratch/out"
    failed=1
fi
exit $failed
