#!/usr/bin/env bash
# kelbrun-sim --load-only on hand-made programs in other toolchains' layouts: what it prints
# matches the expected description byte for byte, and each program then runs (or is refused) as
# that description says.
#
# usage: load_only_test.sh KELBRUN_SIM MAKE_TEST_PE EXPECTED_DIR
set -uo pipefail

sim=$1
make_pe=$2
expected=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for name in microsoft cegcc lacking high-base; do
    "$make_pe" "$name" "$scratch/$name.exe" || { fail "make_test_pe $name"; continue; }
    status=0
    (cd "$scratch" && "$sim" --exe "$name.exe" --load-only) > "$scratch/out" 2> "$scratch/err" ||
        status=$?
    [[ $status -eq 0 ]] || fail "--load-only $name: exit status $status: $(cat "$scratch/err")"
    [[ -s $scratch/err ]] && fail "--load-only $name wrote to standard error: $(cat "$scratch/err")"
    if ! cmp -s "$expected/$name.out" "$scratch/out"; then
        fail "--load-only $name differs from $expected/$name.out:"
        diff "$expected/$name.out" "$scratch/out"
    fi
done

# The programs that bind call Sleep(5) and end with 7; the one that lacks imports is refused in
# one line naming each of them.
for name in microsoft cegcc high-base; do
    status=0
    "$sim" --no-wait --exe "$scratch/$name.exe" > "$scratch/out" 2> "$scratch/err" || status=$?
    [[ $status -eq 7 ]] || fail "--exe $name: exit status $status, expected 7: $(cat "$scratch/err")"
    grep -qx 'sim: sleep 5 ms' "$scratch/err" || fail "--exe $name: no 5 ms sleep in the report: $(cat "$scratch/err")"
done
status=0
"$sim" --no-wait --exe "$scratch/lacking.exe" > "$scratch/out" 2> "$scratch/err" || status=$?
[[ $status -eq 2 ]] || fail "--exe lacking: exit status $status, expected 2"
[[ $(wc -l < "$scratch/err") -eq 1 ]] || fail "--exe lacking: not a one-line refusal: $(cat "$scratch/err")"
want="lacking.exe: imports what the simulated device does not offer: COREDLL.dll's ordinal 9999, COREDLL.dll's Sleeq, AYGSHELL.dll's SHFullScreen"
grep -qF "$want" "$scratch/err" || fail "--exe lacking: $(cat "$scratch/err")"

if [[ $failures -ne 0 ]]; then
    echo "$failures load-only check(s) failed"
    exit 1
fi
echo "all load-only checks passed"
