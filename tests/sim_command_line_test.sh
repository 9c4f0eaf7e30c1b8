#!/usr/bin/env bash
# kelbrun-sim's handling of bad command lines and bad files: one line naming the trouble,
# exit status 2, and nothing run.
set -uo pipefail

sim=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

printf 'Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"="\\SDMMC"\r\n' > "$scratch/bad.reg"
printf 'Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"=hex:5c,00,\\\r\n' > "$scratch/cut.reg"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"="\\\\SDMMC"\r\nENDIF\r\n' > "$scratch/endif.reg"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"="$(CARD)"\r\n' > "$scratch/macro.reg"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\nIF CARD\r\n"SDMMC"="\\\\SDMMC"\r\nENDIF\r\n' > "$scratch/good.reg"
touch "$scratch/file"
mkdir -p "$scratch/root/SDMMC" "$scratch/root/A=B"

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
expect 2 "^kelbrun-sim: $scratch/cut.reg:3: the file ends inside this value" -- --registry "$scratch/cut.reg"
expect 2 '^kelbrun-sim: --mount needs FOLDER=MS' -- --root "$scratch/root" --mount '\SDMMC'
expect 2 '^kelbrun-sim: --mount \\SDMMC=3600001: MS must be a whole number' -- --root "$scratch/root" --mount '\SDMMC=3600001'
expect 2 '^kelbrun-sim: --mount \\SDMMC=1e3: MS must be' -- --root "$scratch/root" --mount '\SDMMC=1e3'
expect 2 '^kelbrun-sim: --mount \\SDMMC=: MS must be' -- --root "$scratch/root" --mount '\SDMMC='
expect 2 '^kelbrun-sim: --mount needs a value' -- --root "$scratch/root" --mount
expect 2 '^kelbrun-sim: --mount \\Card: not a folder under the root$' -- --root "$scratch/root" --mount '\Card=5'
expect 2 '^kelbrun-sim: --mount \\sdmmc: the same folder as \\SDMMC$' -- --root "$scratch/root" --mount '\SDMMC=5' --mount '\sdmmc=6'
expect 2 '^kelbrun-sim: --mount \\SDMMC needs --root' -- --mount '\SDMMC=5'
expect 2 '^kelbrun-sim: --cpu chooses the processor for --exe, and there is no --exe ' -- --cpu armv4t
expect 2 '^kelbrun-sim: --coredll runs --exe on the unit.s library, and there is no --exe run ' -- --coredll "$scratch/file"
expect 2 "^kelbrun-sim: $scratch/file: not a Windows CE ARM coredll.dll: " -- --check --coredll "$scratch/file"
expect 2 '^kelbrun-sim: --load-only describes the loading of --exe, and there is no --exe ' -- --load-only
# A file a unit's loader refuses: the reason on standard error, and what a unit's CreateProcessW
# gives on standard output.
status=0
"$sim" --exe "$scratch/file" --load-only > "$scratch/out" 2> "$scratch/err" || status=$?
if [[ $status -ne 2 ]] || ! grep -q "^kelbrun-sim: $scratch/file: not a Windows executable" "$scratch/err" ||
    [[ $(cat "$scratch/out") != $'processor: none (not a PE image)\na unit\'s CreateProcessW: error 2 (ERROR_FILE_NOT_FOUND): not a Windows executable (too short for an MZ header)' ]]; then
    echo "FAIL: --load-only on a text file: status $status, $(cat "$scratch/out" "$scratch/err")"
    failures=$((failures + 1))
fi
expect 2 "^kelbrun-sim: $scratch/missing.exe: cannot be read" -- --load-only --exe "$scratch/missing.exe"
expect 2 '^kelbrun-sim: --cpu takes armv4t or armv5te, not armv6 ' -- --exe "$scratch/file" --cpu armv6
expect 2 "^kelbrun-sim: (--exe )?$scratch/file: (not a Windows executable|this kelbrun-sim was built without)" -- --exe "$scratch/file"
expect 2 "^kelbrun-sim: (--exe )?$scratch/missing.exe: (cannot be read|this kelbrun-sim was built without)" -- --exe "$scratch/missing.exe"
expect 0 '^sim: mount \\SDMMC at 0 ms$' -- --no-wait --root "$scratch/root" --mount '\SDMMC=0'
expect 0 '^sim: \\SDMMC not mounted by 0 ms \(mounts at 3600000 ms\)$' -- --no-wait --root "$scratch/root" --mount '\SDMMC=3600000'
expect 0 '^sim: exit 0$' -- --no-wait
# The OS image fragment the device's release ships reads as the image builder's file it is.
fragment=$(dirname "$0")/../docs/platform-builder/Kelbrun.reg
expect 0 '^sim: sleep 2500 ms$' -- --no-wait --registry "$fragment"
# A folder whose name holds "=": the time is what follows the last one.
expect 0 '^sim: \\A=B not mounted by 0 ms \(mounts at 5 ms\)$' -- --no-wait --root "$scratch/root" --mount '\A=B=5'
expect 2 '^kelbrun-sim: --mount \\A=B=x: MS must be' -- --root "$scratch/root" --mount '\A=B=x'

# Image-builder files and the build's variables.
expect 2 '^kelbrun-sim: --define needs a value ' -- --define
expect 2 '^kelbrun-sim: --define needs NAME or NAME=VALUE.*; not =1 ' -- --define =1
expect 2 '^kelbrun-sim: --define needs NAME or NAME=VALUE.*; not CARD= ' -- --define CARD=
expect 2 '^kelbrun-sim: --define needs NAME or NAME=VALUE.*; not A B=1 ' -- --define 'A B=1'
expect 2 '^kelbrun-sim: --define needs NAME or NAME=VALUE.*; not CARD! ' -- --define 'CARD!'
expect 2 "^kelbrun-sim: $scratch/endif.reg:3: ENDIF without its IF\$" -- --registry "$scratch/endif.reg"
expect 2 "^kelbrun-sim: $scratch/macro.reg:2: \\\$\\(CARD\\) is defined nowhere: give it with --define CARD=VALUE or --environment FILE" -- --registry "$scratch/macro.reg"
# The second file's error names the second file, even when the first was good.
expect 2 "^kelbrun-sim: $scratch/endif.reg:3: ENDIF" -- --registry "$scratch/good.reg" --registry "$scratch/endif.reg" --define CARD
expect 2 "^kelbrun-sim: $scratch/missing.reg: cannot be read\$" -- --registry "$scratch/good.reg" --registry "$scratch/missing.reg"
expect 2 '^kelbrun-sim: --export-registry is given twice ' -- --export-registry "$scratch/a.reg" --export-registry "$scratch/b.reg"
expect 2 "^kelbrun-sim: $scratch/file/x.reg: cannot be written\$" -- --export-registry "$scratch/file/x.reg"
expect 2 "^kelbrun-sim: $scratch/endif.reg:3: ENDIF" -- --registry "$scratch/endif.reg" --export-registry "$scratch/half.reg"
if [[ -e $scratch/half.reg ]]; then
    echo "FAIL: a bad registry file still left an export"
    failures=$((failures + 1))
fi
# An export runs nothing and says nothing; what it holds is checked by the unit tests.
for defines in "" "--define CARD"; do
    # shellcheck disable=SC2086 # no --define, or one
    "$sim" --registry "$scratch/good.reg" $defines --export-registry "$scratch/good-export.reg" \
        > "$scratch/out" 2> "$scratch/err"
    status=$?
    if [[ $status -ne 0 || -s $scratch/out || -s $scratch/err || ! -s $scratch/good-export.reg ]]; then
        echo "FAIL: --export-registry ${defines:-without --define}: status $status, or it printed something, or wrote nothing"
        failures=$((failures + 1))
    fi
    "$sim" --registry "$scratch/good-export.reg" --export-registry "$scratch/again.reg"
    if ! cmp -s "$scratch/good-export.reg" "$scratch/again.reg"; then
        echo "FAIL: --export-registry ${defines:-without --define}: its export read back is not the same"
        failures=$((failures + 1))
    fi
done
if ! "$sim" --help | grep -q -- '--load-only'; then
    echo "FAIL: kelbrun-sim --help does not mention --load-only"
    failures=$((failures + 1))
fi
# --check: bad input as for a run; otherwise the report on standard output, nothing on standard
# error, and exit status 1 only when the report counts an error.
expect 2 '^kelbrun-sim: --check runs nothing and writes no registry; it takes no --exe ' -- --check --exe "$scratch/file"
expect 2 '^kelbrun-sim: --check runs nothing and writes no registry; it takes no --export-registry ' -- --check --export-registry "$scratch/c.reg"
expect 2 "^kelbrun-sim: $scratch/bad.reg:3: unknown escape" -- --check --registry "$scratch/bad.reg"
expect 2 "^kelbrun-sim: $scratch/file: not a folder\$" -- --check --root "$scratch/file"
expect 2 '^kelbrun-sim: --mount \\Card: not a folder under the root$' -- --check --root "$scratch/root" --mount '\Card=5'
printf '[HKEY_LOCAL_MACHINE\\init]\r\n"Launch50"="Kelbrun.EXE"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"SDMMC"="\\\\SDMMC"\r\n"DataStorage"="\\\\SDMMC\\\\Data"\r\n"User"="\\\\ResidentFlash"\r\n' > "$scratch/unit.reg"
# expect_check STATUS LAST-LINE ARGS...
expect_check() {
    local want_status=$1 want_last=$2
    shift 2
    local status=0
    "$sim" --check "$@" > "$scratch/out" 2> "$scratch/err" || status=$?
    if [[ $status -ne $want_status || -s $scratch/err || $(tail -n 1 "$scratch/out") != "$want_last" ]]; then
        echo "FAIL: kelbrun-sim --check $*: exit status $status (expected $want_status), last line $(tail -n 1 "$scratch/out")"
        cat "$scratch/err"
        failures=$((failures + 1))
    fi
}
expect_check 0 'check: 0 errors, 0 warnings' --registry "$scratch/unit.reg"
# The options of a run are taken and change nothing in the report.
expect_check 0 'check: 0 errors, 0 warnings' --registry "$scratch/unit.reg" --no-wait --shell-fails --self '\Windows\Kelbrun.EXE'
expect_check 0 'check: 0 errors, 0 warnings' --registry "$scratch/unit.reg" --root "$scratch/root" --mount '\SDMMC=100'
expect_check 1 'check: 3 errors, 1 warning' --registry "$scratch/good.reg"
expect_check 1 'check: 1 error, 0 warnings' --registry "$scratch/unit.reg" --self '\SDMMC\UPDATE\Kelbrun.EXE'
# Installed elsewhere, the launcher is not the Kelbrun.EXE the kernel finds in \Windows.
expect_check 1 'check: 1 error, 0 warnings' --registry "$scratch/unit.reg" --root "$scratch/root" --self '\Apps\Kelbrun.EXE'
# The launch loop keeps 32 numbers in the order the values were set, file after file: of
# Launch900 and Launch7, set in that order after 31 others, Launch7 is the one skipped, though
# it comes first by name. A value set again in a later file keeps its place.
{
    printf 'Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\init]\r\n'
    for n in $(seq 100 130); do printf '"Launch%d"="svc.exe"\r\n' "$n"; done
    printf '"Launch900"="late.exe"\r\n'
} > "$scratch/init1.reg"
printf 'Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\init]\r\n"Launch7"="low.exe"\r\n"Launch100"="Kelbrun.EXE"\r\n' > "$scratch/init2.reg"
expect_check 1 'check: 2 errors, 0 warnings' --registry "$scratch/init1.reg" --registry "$scratch/init2.reg"
if ! grep -q 'so Launch7 is never read (CE 5.0.s launch loop)$' "$scratch/out" || grep -q '^ *7  low.exe' "$scratch/out"; then
    echo "FAIL: kelbrun-sim --check keeps the 32 numbers set first:"
    cat "$scratch/out"
    failures=$((failures + 1))
fi
if ! "$sim" --help | grep -q -- '--check'; then
    echo "FAIL: kelbrun-sim --help does not show --check"
    failures=$((failures + 1))
fi
if ! "$sim" --help | grep -q '^usage: kelbrun-sim '; then
    echo "FAIL: kelbrun-sim --help prints no usage"
    failures=$((failures + 1))
fi

if [[ $failures -ne 0 ]]; then
    echo "$failures command-line check(s) failed"
    exit 1
fi
echo "all command-line checks passed"
