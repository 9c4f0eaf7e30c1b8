#!/usr/bin/env bash
# An OS design with many LOC_ tokens and #include lines that cannot be read, checked as a new
# user checks one: each warning once (in --check's report, or on standard error for a dry run),
# the errors before the warnings, three of each kind and one counted line for the rest, and
# --verbose listing every one.
#
# usage: quiet_check_test.sh KELBRUN_SIM
set -uo pipefail

sim=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

tokens=80
{
    printf '%s\r\n' '[HKEY_LOCAL_MACHINE\init]' '    "Launch50"="Kelbrun.EXE"' \
        '    "Depend50"=hex:14,00' '    "Launch60"="svc.exe"' '    "Depend60"=hex:32,00'
    for include in gps audio usbfn battery; do
        printf '#include "$(_TARGETPLATROOT)\\FILES\\%s.reg"\r\n' "$include"
    done
    printf '%s\r\n' '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]' '    "SDMMC"="\\SDMMC"' \
        '    "DataStorage"="\\SDMMC\\Data"' '    "User"="\\ResidentFlash"'
    printf '%s\r\n' '[HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\SDMemory]' \
        '    "Name"="SD card"'
    for ((i = 1; i <= tokens; i++)); do
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Strings\\S%d]\r\n    "Text"=LOC_TEXT_%d\r\n' \
            "$i" "$i"
    done
} > "$scratch/project.reg"
first_token_line=$(grep -n 'LOC_TEXT_4.$' "$scratch/project.reg" | cut -d: -f1)

"$sim" --registry "$scratch/project.reg" --check > "$scratch/out" 2> "$scratch/err"
[[ -s $scratch/err ]] && fail "--check wrote to standard error: $(head -3 "$scratch/err")"
warnings=$(grep -c '^check: warning: ' "$scratch/out")
[[ $warnings -lt 20 ]] || fail "--check: $warnings lines of warnings, not fewer than 20"
[[ $(head -n 1 "$scratch/out") == 'boot order, HKEY_LOCAL_MACHINE\init:' ]] ||
    fail "--check: the boot order does not come first"
last_error=$(grep -n '^check: error: ' "$scratch/out" | tail -n 1 | cut -d: -f1)
first_warning=$(grep -n '^check: warning: ' "$scratch/out" | head -n 1 | cut -d: -f1)
[[ -n $last_error && $last_error -lt $first_warning ]] ||
    fail "--check: a warning before an error: $(cat "$scratch/out")"
[[ $(grep -c 'LOC_TEXT_[0-9]* is not replaced' "$scratch/out") -eq 3 ]] ||
    fail "--check: not the first three LOC_ tokens alone"
grep -qxF "check: warning: $((tokens - 3)) more LOC_ tokens not replaced, first at $scratch/project.reg:$first_token_line; --verbose lists them" \
    "$scratch/out" || fail "--check: no counted line for the LOC_ tokens: $(grep more "$scratch/out")"
# One past the first three is as short told as counted.
[[ $(grep -c '^check: warning: .*: #include .* is not read' "$scratch/out") -eq 4 ]] ||
    fail "--check: not each of the four includes told: $(grep more "$scratch/out")"
grep -q '^check: warning: .*project.reg:6: #include .*gps.reg" is not read: .*; what it holds is not checked: it may hold init entries (the boot order) and storage profiles (the card folder)$' \
    "$scratch/out" || fail "--check: an unread include does not say what it may hide"
grep -q "SDMMC: cannot judge whether the card folder .*#include .*gps.reg" "$scratch/out" ||
    fail "--check: the card folder is judged though includes were not read"

"$sim" --registry "$scratch/project.reg" --check --verbose > "$scratch/verbose" 2> /dev/null
all=$(grep -c '^check: warning: ' "$scratch/verbose")
[[ $(tail -n 1 "$scratch/out") == "check: 1 error, $all warnings" ]] ||
    fail "--check: the count is not of every warning ($all): $(tail -n 1 "$scratch/out")"
[[ $(grep -c 'LOC_TEXT_[0-9]* is not replaced' "$scratch/verbose") -eq $tokens ]] ||
    fail "--verbose: not every LOC_ token listed"
grep -q ' more ' "$scratch/verbose" && fail "--verbose: a counted line"

# A dry run: the warnings on standard error, once, grouped the same way; none on standard output.
"$sim" --registry "$scratch/project.reg" > "$scratch/run-out" 2> "$scratch/run-err"
grep -q 'warning' "$scratch/run-out" && fail "dry run: a warning on standard output"
[[ $(grep -c '^kelbrun-sim: warning: ' "$scratch/run-err") -eq 8 ]] ||
    fail "dry run: not 3 + 1 lines of each kind: $(cat "$scratch/run-err")"
grep -qxF "kelbrun-sim: warning: $((tokens - 3)) more LOC_ tokens not replaced, first at $scratch/project.reg:$first_token_line; --verbose lists them" \
    "$scratch/run-err" || fail "dry run: no counted line"
grep -q 'what it holds is not checked' "$scratch/run-err" && fail "dry run: speaks of the check"

[[ $failures -eq 0 ]] || exit 1
echo "quiet check: ok ($warnings lines of warnings for $tokens tokens)"
