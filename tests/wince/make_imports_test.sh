#!/usr/bin/env bash
# platform/wince/make_imports.py on small objects, linked as kelbrun_wince_program links a
# program's code: it imports exactly what the kept code calls, refuses a compiler helper that
# COREDLL does not offer, naming it, and writes no IAT for a program that imports nothing.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
make_imports=$source_dir/platform/wince/make_imports.py
exports=$source_dir/platform/coredll.exports
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
    echo "make_imports_test: $1" >&2
    failed=$((failed + 1))
}

# Assembles a program's code and links it as one relocatable object, from the entry.
program() {
    local name=$1
    arm-linux-gnueabi-as -march=armv4t -o "$work/$name.o" -
    arm-linux-gnueabi-ld -r --gc-sections -e KelbrunEntry -o "$work/$name.program.o" \
        "$work/$name.o"
}

imports() {
    "$make_imports" --exports "$exports" --program "$1" --output "$work/$1.S" \
        "$work/$1.program.o"
}

# The names the generated assembly imports, one per line, in its order.
imported() {
    sed -n 's/^__imp_\(.*\):$/\1/p' "$work/$1.S"
}

program calls << 'EOF'
    .section .text.entry, "ax", %progbits
    .globl KelbrunEntry
KelbrunEntry:
    bl Sleep
    bl memset
    bl Helper
    bx lr
    .section .text.helper, "ax", %progbits
Helper:
    bl Sleep
    bx lr
    @ Nothing calls this: the relocatable link drops it, and its call is no import.
    .section .text.unused, "ax", %progbits
Unused:
    bl GetLastError
    bx lr
EOF
if imports calls && [[ $(imported calls | tr '\n' ' ') == "Sleep memset " ]]; then
    pass
else
    fail "calls: imported '$(imported calls | tr '\n' ' ')', expected 'Sleep memset '"
fi
# Each import has its ARM stub under the function's own name.
if grep -q '^    .type Sleep, %function$' "$work/calls.S" &&
    grep -q '^    .type memset, %function$' "$work/calls.S"; then
    pass
else
    fail "calls: no stub declared as a function for each import"
fi

program helper << 'EOF'
    .section .text.entry, "ax", %progbits
    .globl KelbrunEntry
KelbrunEntry:
    bl Sleep
    bl __aeabi_uidiv
    bx lr
EOF
if message=$(imports helper 2>&1); then
    fail "helper: __aeabi_uidiv was accepted"
elif [[ $message == *"needs __aeabi_uidiv, which is not a COREDLL function"* &&
    $message != *Sleep* && ! -e $work/helper.S ]]; then
    pass
else
    fail "helper: refused without naming __aeabi_uidiv alone, or wrote its output: $message"
fi

program nothing << 'EOF'
    .section .text.entry, "ax", %progbits
    .globl KelbrunEntry
KelbrunEntry:
    bx lr
EOF
if imports nothing && [[ -z $(imported nothing) ]] &&
    grep -q '^    .set __pe_iat_size, 0$' "$work/nothing.S"; then
    pass
else
    fail "nothing: imports or an IAT for a program that calls nothing"
fi

echo "make_imports_test: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
