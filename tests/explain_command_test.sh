#!/usr/bin/env bash
# kelbrun-sim --explain on logs of our own in the forms a unit's captures take: a serial
# console's bare lines among the kernel's (code page 1252, CRLF), and Platform Builder's
# output window saved with its timestamp, process and thread before each line. Each is
# explained beside the dry run of an example unit and compared byte for byte with what it
# should say; bad input gets one line, and exit status 2 only for a log that cannot be read.
#
# usage: explain_command_test.sh KELBRUN_SIM
set -uo pipefail

sim=$1
cd "$(dirname "$0")/.." || exit 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run STATUS ARGS...: kelbrun-sim's exit status must be STATUS; its output is left in scratch.
run() {
    local want=$1
    shift
    local status=0
    "$sim" "$@" > "$scratch/out" 2> "$scratch/err" || status=$?
    [[ $status -eq $want ]] || fail "kelbrun-sim $*: exit status $status, expected $want"
}

# same EXPECTED-FILE ARGS...: the explanation is the expected one, byte for byte. Where the
# host's iconv knows no Windows code page (Debian's ARM libraries under qemu-arm), a log in one
# is read byte by byte, and only its first line, which names how it was read, differs.
same() {
    local expected=$1 from=1
    shift
    run 0 "$@"
    [[ -n ${KELBRUN_NO_CODEPAGES:-} ]] && from=2
    if ! cmp -s <(tail -n +"$from" "$expected") <(tail -n +"$from" "$scratch/out"); then
        fail "kelbrun-sim $*: not as $expected"
        diff "$expected" "$scratch/out"
    fi
}

update=(--registry examples/card-update/device.reg --root examples/card-update/root)
late=(--registry examples/card-mounts-late/device.reg --root examples/card-mounts-late/root)

# The launcher started the card's copy, and that copy ran: two runs, each as its dry run.
same tests/explain/serial-console.card-update.expected \
    --explain tests/explain/serial-console.log "${update[@]}"
# The card's copy "not exists" on the unit, while the files given hold it: the card mounted
# after the pause.
same tests/explain/output-window.card-mounts-late.expected \
    --explain tests/explain/output-window.log "${late[@]}"
# With the card's mount time given, the dry run says what the unit did.
run 0 --explain tests/explain/output-window.log "${late[@]}" --mount '\SDMMC=4000'
[[ $(tail -n 1 "$scratch/out") == "  the dry run: the same trail" ]] ||
    fail "--mount \\SDMMC=4000 does not make the dry run the unit's: $(tail -n 1 "$scratch/out")"
# Without the unit's files, only what the log says.
run 0 --explain tests/explain/output-window.log
grep -q 'the dry run' "$scratch/out" && fail "a dry run named without the unit's files"
[[ -s $scratch/err ]] && fail "--explain alone wrote to standard error: $(cat "$scratch/err")"

# Bad input: one line each.
run 2 --explain "$scratch/missing.log"
[[ $(cat "$scratch/err") == "kelbrun-sim: $scratch/missing.log: cannot be read" && ! -s $scratch/out ]] ||
    fail "an unreadable log: $(cat "$scratch/err")"
head -c 2048 /dev/zero | tr '\0' '\001' > "$scratch/binary.log"
run 1 --explain "$scratch/binary.log"
if [[ $(wc -l < "$scratch/out") -ne 1 ]] ||
    ! grep -q ': not a text log (2048 of its 2048 bytes' "$scratch/out"; then
    fail "a log that is not text: $(cat "$scratch/out")"
fi
printf 'OEMInit\r\nGWES: ready\r\n' > "$scratch/other.log"
run 1 --explain "$scratch/other.log"
if [[ $(wc -l < "$scratch/out") -ne 1 ]] ||
    ! grep -q ': no trail of the launcher in its 2 lines' "$scratch/out"; then
    fail "a log without the trail: $(cat "$scratch/out")"
fi
head -n 6 tests/explain/serial-console.log > "$scratch/cut.log"
run 0 --explain "$scratch/cut.log"
grep -q '^  cut off: the trail stops after line 6, while it read its folders$' "$scratch/out" ||
    fail "a trail cut off: $(cat "$scratch/out")"
run 2 --explain tests/explain/serial-console.log --check
grep -q -- '--explain reads a log beside a dry run of its own; it takes no --check' "$scratch/err" ||
    fail "--explain with --check: $(cat "$scratch/err")"
"$sim" --help | grep -q -- '--explain LOG' || fail "kelbrun-sim --help does not show --explain"

if [[ $failures -ne 0 ]]; then
    echo "$failures --explain check(s) failed"
    exit 1
fi
echo "all --explain checks passed"
