#!/usr/bin/env bash
# platform/wince/make_imports.py on small objects, linked as kelbrun_wince_program links a
# program's code: it imports exactly what the kept code calls, in each of the three bindings
# (by ordinal from the export table, by name, CeGCC's), refuses a compiler helper that COREDLL
# does not offer, naming it, refuses a damaged export table, naming its line, and writes no IAT
# for a program that imports nothing. Each binding's output is assembled and linked with the PE
# header as a program is, and its tables read back from the linked image.
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
    { cat; echo '    .section .note.GNU-stack, "", %progbits'; } |
        arm-linux-gnueabi-as -march=armv4t -o "$work/$name.o" -
    arm-linux-gnueabi-ld -r --gc-sections -e KelbrunEntry -o "$work/$name.program.o" \
        "$work/$name.o"
}

# imports NAME [make_imports options]: NAME.S from NAME.program.o.
imports() {
    local name=$1
    shift
    "$make_imports" --exports "$exports" --program "$name" --output "$work/$name.S" "$@" \
        "$work/$name.program.o"
}

# Links NAME.S with the PE header and NAME.program.o as a device program is linked.
link() {
    local name=$1
    arm-linux-gnueabi-gcc -march=armv4t -I "$source_dir" -c -o "$work/$name.imports.o" \
        "$work/$name.S"
    arm-linux-gnueabi-gcc -march=armv4t -I "$source_dir" -c -o "$work/$name.header.o" \
        "$source_dir/platform/wince/pe_header.S"
    arm-linux-gnueabi-ld -T "$source_dir/platform/wince/link.ld" --gc-sections \
        --orphan-handling=error --fatal-warnings -o "$work/$name.elf" "$work/$name.header.o" \
        "$work/$name.imports.o" "$work/$name.program.o"
}

# The names the generated assembly imports, one per line, in its order.
imported() {
    sed -n 's/^__imp_\(.*\):$/\1/p' "$work/$1.S"
}

# The address of SYMBOL in NAME.elf, as a number.
address_of() {  # NAME SYMBOL
    local address
    address=$(arm-linux-gnueabi-nm "$work/$1.elf" | awk -v s="$2" '$3 == s {print $1}')
    echo $((16#${address:-0}))
}

# COUNT little-endian words from SYMBOL on in NAME.elf, in hexadecimal as objdump shows them.
words() {  # NAME SYMBOL COUNT
    local start
    start=$(address_of "$1" "$2")
    arm-linux-gnueabi-objdump -s --start-address="$start" --stop-address=$((start + 4 * $3)) \
        "$work/$1.elf" | awk '/^ [0-9a-f]+ / {for (i = 2; i <= 5; i++) if ($i ~ /^[0-9a-f]+$/ && length($i) == 8) print $i}'
}

# The ELF section that holds SYMBOL.
section_of() {  # NAME SYMBOL
    local at index name size vma rest
    at=$(address_of "$1" "$2")
    while read -r index name size vma rest; do
        if [[ $index =~ ^[0-9]+$ ]] && ((at >= 16#$vma && at < 16#$vma + 16#$size)); then
            echo "$name"
            return
        fi
    done < <(arm-linux-gnueabi-objdump -h "$work/$1.elf")
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
# Byte-swapped, as objdump shows little-endian words: Sleep 496 (0x1f0) and memset 1047 (0x417)
# with the ordinal bit, then the closing 0.
if link calls && [[ $(words calls __pe_iat 3 | tr '\n' ' ') == "f0010080 17040080 00000000 " ]] &&
    [[ $(section_of calls __pe_iat) == .data && $(section_of calls __pe_import_directory) == .rdata ]]; then
    pass
else
    fail "calls, by ordinal: IAT $(words calls __pe_iat 3 | tr '\n' ' ') in" \
        "$(section_of calls __pe_iat), directory in $(section_of calls __pe_import_directory)"
fi
if ! grep -q '"COREDLL.dll"' "$work/calls.S" || grep -q '"Sleep"' "$work/calls.S"; then
    fail "calls, by ordinal: not from COREDLL.dll, or a hint/name entry written"
else
    pass
fi

# By name, from COREDLL.dll: IAT in .data, the hint/name entries in .rdata beside the directory.
for binding in name cegcc; do
    cp "$work/calls.program.o" "$work/$binding.program.o"
    if imports $binding --binding $binding && link $binding; then
        iat=$(words $binding __pe_iat 3 | tr '\n' ' ')
        iat_section=$(section_of $binding __pe_iat)
        directory_section=$(section_of $binding __pe_import_directory)
    else
        iat="(no build)"
    fi
    if [[ $binding == name ]]; then
        want_dll='"COREDLL.dll"' want_iat=.data want_directory=.rdata
    else
        want_dll='"COREDLL"' want_iat=.idata want_directory=.idata
    fi
    # Each slot a hint/name RVA: no ordinal bit, not zero; then the closing 0.
    if [[ $iat =~ ^[0-9a-f]{2}[0-9a-f]{4}00\ [0-9a-f]{2}[0-9a-f]{4}00\ 00000000\ $ &&
        $iat != *"00000000 00000000 "* && $iat_section == "$want_iat" &&
        $directory_section == "$want_directory" ]] &&
        grep -q "$want_dll" "$work/$binding.S" && grep -q '"Sleep"' "$work/$binding.S" &&
        grep -q '"memset"' "$work/$binding.S"; then
        pass
    else
        fail "$binding: IAT '$iat' in ${iat_section:-?}, directory in ${directory_section:-?}," \
            "expected two hint/name RVAs in $want_iat, the directory in $want_directory and" \
            "$want_dll"
    fi
done
# The CeGCC binding leaves .rdata to the program's constants.
if [[ -z $(arm-linux-gnueabi-objdump -h "$work/cegcc.elf" | awk '$2 == ".rdata" && $3 != "00000000"') ]]; then
    pass
else
    fail "cegcc: import data in .rdata"
fi

# The integrator's list: each import, its ordinal and component, and the loader's two lines.
if imports calls --imports-list "$work/calls.txt" &&
    grep -qE '^Sleep +496  always$' "$work/calls.txt" &&
    grep -qE '^memset +1047  COREDLL_CORECRT$' "$work/calls.txt" &&
    grep -qxF "    ERROR: function @ Ordinal 1047 missing in Module 'coredll.dll'" "$work/calls.txt" &&
    [[ $(grep -c '^    !!! Please Check your SYSGEN variable !!!$' "$work/calls.txt") -eq 2 ]]; then
    pass
else
    fail "calls: the imports list lacks an import, its ordinal, component or loader lines"
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

# A damaged export table: refused with its file and line, status 2, nothing written.
table_case() {  # LABEL LINE WORDS
    local label=$1 line=$2 words=$3
    local table=$work/$label.exports
    { echo "# name ordinal component"; echo "Sleep 496 always"; echo "$line"; } > "$table"
    rm -f "$work/table.S"
    local status=0
    message=$("$make_imports" --exports "$table" --program table --output "$work/table.S" \
        "$work/calls.program.o" 2>&1) || status=$?
    if [[ $status -eq 2 && $message == "make_imports: $table:3: "*"$words"* &&
        $(wc -l <<< "$message") -eq 1 && ! -e $work/table.S ]]; then
        pass
    else
        fail "table $label: status $status, message '$message'"
    fi
}
table_case ordinal-zero "memset 0 COREDLL_CORECRT" "not a number from 1 to 65535"
table_case ordinal-past "memset 65536 COREDLL_CORECRT" "not a number from 1 to 65535"
table_case ordinal-text "memset x417 COREDLL_CORECRT" "not a number"
table_case no-component "memset 1047" "expected name, ordinal and component"
table_case twice "Sleep 497 always" "Sleep is listed twice"
table_case same-ordinal "memset 496 COREDLL_CORECRT" "also Sleep's"
# The highest ordinal is one.
{ echo "Sleep 496 always"; echo "memset 65535 COREDLL_CORECRT"; } > "$work/top.exports"
if "$make_imports" --exports "$work/top.exports" --program top --output "$work/top.S" \
    "$work/calls.program.o" && grep -q '0x8000ffff' "$work/top.S"; then
    pass
else
    fail "ordinal 65535 not imported"
fi

echo "make_imports_test: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
