#!/usr/bin/env bash
# kelbrun-sim's handling of bad command lines and bad files: one line naming the trouble,
# exit status 2, and nothing run.
set -uo pipefail

sim=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

printf 'Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"="\\SDMMC"\r\n' > "$scratch/bad.reg"
touch "$scratch/file"

failures=0
# expect STATUS STDERR-PATTERN -- ARGS...
expect() {
    local want_status=$1 pattern=$2
    shift 3
    local status=0
    "$sim" "$@" > "$scratch/out" 2> "$scratch/err" || status=$?
    local problem=""
    [[ $status -eq $want_status ]] || problem="exit status $status, expected $want_status"
    grep -qE -- "$pattern" "$scratch/err" || problem+=" stderr lacks /$pattern/"
    if [[ $want_status -eq 2 ]]; then
        [[ -s $scratch/out ]] && problem+=" something ran (stdout not empty)"
        [[ $(wc -l < "$scratch/err") -eq 1 ]] || problem+=" not a one-line error"
    fi
    if [[ -n $problem ]]; then
        echo "FAIL: kelbrun-sim $*: $problem"
        cat "$scratch/err"
        failures=$((failures + 1))
    fi
}

expect 2 '^kelbrun-sim: unknown argument: --bogus ' -- --bogus
expect 2 '^kelbrun-sim: --registry needs a value ' -- --registry
expect 2 '^kelbrun-sim: --root is given twice ' -- --root "$scratch" --root "$scratch"
expect 2 "^kelbrun-sim: $scratch/missing.reg: cannot be read\$" -- --registry "$scratch/missing.reg"
expect 2 "^kelbrun-sim: $scratch/bad.reg:3: unknown escape" -- --registry "$scratch/bad.reg"
expect 2 "^kelbrun-sim: $scratch/file: not a folder\$" -- --root "$scratch/file"
expect 2 '^kelbrun-sim: --self needs a device path' -- --self ''
expect 0 '^sim: exit 0$' -- --no-wait
if ! "$sim" --help | grep -q '^usage: kelbrun-sim '; then
    echo "FAIL: kelbrun-sim --help prints no usage"
    failures=$((failures + 1))
fi

if [[ $failures -ne 0 ]]; then
    echo "$failures command-line check(s) failed"
    exit 1
fi
echo "all command-line checks passed"
