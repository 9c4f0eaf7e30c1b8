#!/usr/bin/env bash
# An OS design read as the image builder reads it, through kelbrun-sim's options: the release
# folder's common.reg with its LOC_ tokens and @CESYSGEN markers, a platform.reg that includes
# files through --map and #define, a project.reg, the build window's variables, the .str file,
# and the .bib and .dat files. The registry they give must be the one written out by hand, the
# warnings one line each, and every refusal one line naming the file and line, with nothing
# written.
#
# usage: image_design_test.sh KELBRUN_SIM
set -uo pipefail

sim=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
design=$scratch/design
mkdir -p "$design/WINCE500/PUBLIC/COMMON/OAK/FILES" "$design/WINCE500/PLATFORM/BOARD/FILES/drivers" \
    "$design/release"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The release folder's copy of common.reg: filtered already, so its markers are comments.
printf '%s\r\n' \
    '; @CESYSGEN IF CE_MODULES_SHELL' \
    '[HKEY_LOCAL_MACHINE\init]' \
    '    "Launch10"="shell.exe"' \
    '; @CESYSGEN ENDIF CE_MODULES_SHELL' \
    '[HKEY_CURRENT_USER\MUI]' \
    '    "CurLang"=dword:LOC_LCID' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]' \
    '    "User"="\\Windows"' \
    '    "Label"=LOC_CARDNAME' \
    > "$design/WINCE500/PUBLIC/COMMON/OAK/FILES/common.reg"
printf '%s\r\n' \
    '#define BUILTIN_ROOT HKEY_LOCAL_MACHINE\Drivers\BuiltIn' \
    '#include "$(_TARGETPLATROOT)\FILES\drivers\sdcard.reg"' \
    '#include "$(DRIVERS_DIR)\pcibus\pcibus.reg"' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]' \
    'IF BSP_CARD=SD' \
    '    "SDMMC" = "\\SDMMC"' \
    'ELSE' \
    '    "SDMMC" = "\\Storage Card"' \
    'ENDIF BSP_CARD' \
    '    "DataStorage" = "$(CARD_FOLDER)\\Data"' \
    > "$design/WINCE500/PLATFORM/BOARD/FILES/platform.reg"
printf '%s\r\n' \
    '#define CARD_FOLDER \\SDMMC' \
    '[$(BUILTIN_ROOT)\SDHC]' \
    '    "Dll"="sdhc.dll"' \
    '    "Prefix"="SHC"' \
    '    "Order"=dword:21' \
    > "$design/WINCE500/PLATFORM/BOARD/FILES/drivers/SDCard.reg"
printf '%s\r\n' \
    '[HKEY_LOCAL_MACHINE\init]' \
    '    "Launch50"="Kelbrun.EXE"' \
    '    "Depend50"=hex:14,00' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]' \
    '    "User"="\\ResidentFlash"   ; the project has the last word' \
    '    "Label"=-; none after all' \
    > "$design/project.reg"
printf '%s\r\n' '// the strings of English builds' '#define LOC_LCID ~"409"' \
    '#define LOC_CARDNAME "SD card"' > "$design/en.str"
printf '%s\r\n' 'BSP_CARD=CF' 'COMPUTERNAME=BUILD7' '_TARGETPLATROOT=C:\WINCE500\PLATFORM\BOARD' \
    'CE_MODULES=coredll nk filesys' > "$design/env.txt"
printf '%s\r\n' 'MODULES' '  kelbrun.exe   $(_FLATRELEASEDIR)\Kelbrun.exe   NK  S' \
    'FILES' '  maps.txt  C:\WINCE500\PUBLIC\COMMON\OAK\FILES\common.reg  NK  U' > "$design/project.bib"
printf '%s\r\n' 'root:-Directory("Program Files")' \
    'Directory("\Program Files"):-File("Kelbrun.exe","\Windows\Kelbrun.exe")' > "$design/project.dat"

common=(--registry "$design/WINCE500/PUBLIC/COMMON/OAK/FILES/common.reg"
    --registry "$design/WINCE500/PLATFORM/BOARD/FILES/platform.reg" --registry "$design/project.reg"
    --environment "$design/env.txt" --strings "$design/en.str" --map "c:\\wince500=$design/WINCE500")
files=("${common[@]}" --define BSP_CARD=SD)

# What those files give, written out by hand as an editor export.
printf '%s\r\n' 'Windows Registry Editor Version 5.00' \
    '[HKEY_LOCAL_MACHINE\init]' '"Launch10"="shell.exe"' '"Launch50"="Kelbrun.EXE"' '"Depend50"=hex:14,00' \
    '[HKEY_CURRENT_USER\MUI]' '"CurLang"=dword:00000409' \
    '[HKEY_LOCAL_MACHINE\Drivers\BuiltIn\SDHC]' '"Dll"="sdhc.dll"' '"Prefix"="SHC"' '"Order"=dword:21' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]' '"User"="\\ResidentFlash"' '"SDMMC"="\\SDMMC"' \
    '"DataStorage"="\\SDMMC\\Data"' > "$scratch/expected.reg"
"$sim" --registry "$scratch/expected.reg" --export-registry "$scratch/expected-export.reg" ||
    fail "the hand-written export is not read"

status=0
"$sim" "${files[@]}" --export-registry "$scratch/design.reg" > "$scratch/out" 2> "$scratch/err" ||
    status=$?
[[ $status -eq 0 ]] || fail "the design: exit status $status: $(cat "$scratch/err")"
cmp -s "$scratch/design.reg" "$scratch/expected-export.reg" ||
    fail "the design's registry is not the one written out by hand"
want="kelbrun-sim: warning: $design/WINCE500/PLATFORM/BOARD/FILES/platform.reg:3: #include \"\$(DRIVERS_DIR)\\pcibus\\pcibus.reg\" is not read: \$(DRIVERS_DIR) is not defined (give it with --define or --environment)"
[[ $(cat "$scratch/err") == "$want" ]] || fail "the warning for an include nobody can open: $(cat "$scratch/err")"

# --check repeats the warning as one of its own, in its count.
"$sim" --check "${files[@]}" > "$scratch/out" 2> "$scratch/err"
grep -qF "check: warning: $design/WINCE500/PLATFORM/BOARD/FILES/platform.reg:3: #include" "$scratch/out" ||
    fail "--check does not repeat the include's warning"
grep -qE '^check: [0-9]+ errors?, [1-9][0-9]* warnings?$' "$scratch/out" || fail "--check does not count the warning"

# The second way to the same variables: --define wins over --environment, so without it the
# card is CF's.
"$sim" "${common[@]}" --export-registry "$scratch/cf.reg" 2> /dev/null
"$sim" "${files[@]}" --define BSP_CARD=CF --export-registry "$scratch/cf-defined.reg" 2> /dev/null
cmp -s "$scratch/cf.reg" "$scratch/design.reg" && fail "--define BSP_CARD=SD changed nothing"
cmp -s "$scratch/cf.reg" "$scratch/cf-defined.reg" || fail "--environment's BSP_CARD=CF is not --define's"

# Without --strings a LOC_ token is a warning and its value is not set.
"$sim" --registry "$design/WINCE500/PUBLIC/COMMON/OAK/FILES/common.reg" --export-registry "$scratch/nostr.reg" \
    2> "$scratch/err" || fail "common.reg without --strings is refused"
[[ $(wc -l < "$scratch/err") -eq 2 ]] || fail "without --strings: not one warning a token: $(cat "$scratch/err")"
grep -q 'common.reg:6: LOC_LCID is not replaced (no --strings file given): this value is not set$' "$scratch/err" ||
    fail "without --strings: $(head -1 "$scratch/err")"

# A board's file with the stray lines real designs hold is read, one warning for each, and the
# values after a key line that lost its [ stay in the key before it.
printf '%s\r\n' \
    '[HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\SDMemory]' \
    '-----------------------------------------' \
    'HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\SDMemory\PartitionTable]' \
    '    "01"="FATFS"' \
    ';   "Ioctl"=hex:01,02,\' \
    '        03,04' \
    '    "Name"="SD card"' \
    > "$scratch/stray.reg"
"$sim" --registry "$scratch/stray.reg" --export-registry "$scratch/stray-out.reg" 2> "$scratch/err" ||
    fail "a file with stray lines is refused: $(cat "$scratch/err")"
[[ $(wc -l < "$scratch/err") -eq 3 ]] || fail "stray lines: not one warning each: $(cat "$scratch/err")"
grep -q "^kelbrun-sim: warning: $scratch/stray.reg:3: skipped a key line without its \[, .*PartitionTable\]: the values after it go into \[HKEY_LOCAL_MACHINE.*SDMemory\]$" "$scratch/err" ||
    fail "stray lines: the key line's warning: $(cat "$scratch/err")"
grep -q "^kelbrun-sim: warning: $scratch/stray.reg:6: skipped line 6, which goes on with the value \"Ioctl\" commented out on line 5" "$scratch/err" ||
    fail "stray lines: the commented value's warning: $(cat "$scratch/err")"
iconv -f UTF-16 -t UTF-8 "$scratch/stray-out.reg" > "$scratch/stray-out.txt"
grep -qF '"01"="FATFS"' "$scratch/stray-out.txt" && grep -qF '"Name"="SD card"' "$scratch/stray-out.txt" ||
    fail "stray lines: the values after them are not read"
grep -qF 'PartitionTable' "$scratch/stray-out.txt" && fail "stray lines: a key line without its [ made a key"

# --cesysgen decides the markers: an image without the shell module has no shell.exe.
"$sim" "${files[@]}" --cesysgen --export-registry "$scratch/sysgen.reg" 2> /dev/null ||
    fail "--cesysgen: refused"
cmp -s "$scratch/sysgen.reg" "$scratch/design.reg" && fail "--cesysgen decided no block"

# --cesysgen with no variable a gate can rest on drops every gated block: said once, and not
# when a module variable is known.
printf '%s\r\n' '; @CESYSGEN IF CE_MODULES_SHELL' '[HKEY_LOCAL_MACHINE\init]' \
    '    "Launch10"="shell.exe"' '; @CESYSGEN ENDIF CE_MODULES_SHELL' > "$scratch/gated.reg"
"$sim" --registry "$scratch/gated.reg" --cesysgen --export-registry "$scratch/gated-out.reg" \
    2> "$scratch/err" || fail "--cesysgen without variables: refused"
[[ $(grep -c '^kelbrun-sim: warning: --cesysgen: no CE_MODULES, .* every @CESYSGEN IF block is dropped' \
    "$scratch/err") -eq 1 && $(wc -l < "$scratch/err") -eq 1 ]] ||
    fail "--cesysgen without variables: not one warning: $(cat "$scratch/err")"
"$sim" --registry "$scratch/gated.reg" --cesysgen --define CE_MODULES=shell \
    --export-registry "$scratch/gated-out.reg" 2> "$scratch/err" || fail "--cesysgen: refused"
[[ -s $scratch/err ]] && fail "--cesysgen with CE_MODULES: warned: $(cat "$scratch/err")"

# A file not in UTF-8: Windows-1252 unless --codepage says otherwise. (Under qemu-arm glibc's
# iconv has no gconv modules, and knows no Windows code page.)
if [[ -z ${KELBRUN_NO_CODEPAGES:-} ]]; then
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n; \xc4\xe3\xba\xc3\r\n"User"="\\\\\xc4\xe3"\r\n' > "$scratch/gbk.reg"
    "$sim" --registry "$scratch/gbk.reg" --export-registry "$scratch/1252.reg" || fail "GBK bytes in 1252"
    "$sim" --registry "$scratch/gbk.reg" --codepage 936 --export-registry "$scratch/936.reg" || fail "--codepage 936"
    if cmp -s "$scratch/1252.reg" "$scratch/936.reg"; then fail "--codepage 936 read the file as 1252 did"; fi
fi

# The .bib and .dat files are read; their mistakes are refused as any file's.
"$sim" --bib "$design/project.bib" --dat "$design/project.dat" --map "C:\\WINCE500=$design/WINCE500" \
    --export-registry "$scratch/empty.reg" || fail "--bib and --dat: refused"

# expect STATUS STDERR-LINE ARGS...: the whole of stderr, and for 2 nothing written
expect() {
    local want_status=$1 want=$2
    shift 2
    local status=0
    rm -f "$scratch/half.reg"
    "$sim" "$@" --export-registry "$scratch/half.reg" > "$scratch/out" 2> "$scratch/err" || status=$?
    if [[ $status -ne $want_status || $(cat "$scratch/err") != "$want" ]]; then
        fail "kelbrun-sim $*: exit status $status, stderr: $(cat "$scratch/err"), expected: $want"
    fi
    if [[ $want_status -eq 2 && -e $scratch/half.reg ]]; then
        fail "kelbrun-sim $*: a refused design still left an export"
    fi
}
printf '[HKEY_LOCAL_MACHINE\\A]\r\n#include "inner.reg"\r\n' > "$scratch/outer.reg"
printf '"A"="1"\r\n"B"=sz:2\r\n' > "$scratch/inner.reg"
expect 2 "kelbrun-sim: $scratch/inner.reg:2 (included from $scratch/outer.reg:2): unknown type: a value must be a quoted string, dword:, multi_sz:, mui_sz:, hex:, hex(TYPE): or -" \
    --registry "$scratch/outer.reg"
printf '#include "loop.reg"\r\n' > "$scratch/loop.reg"
expect 2 "kelbrun-sim: $scratch/loop.reg:1: #include \"loop.reg\" includes a file that is being read already: an include cycle" \
    --registry "$scratch/loop.reg"
printf '[HKEY_LOCAL_MACHINE\\A]\r\n"A"=LOC_NONE\r\n' > "$scratch/loc.reg"
expect 2 "kelbrun-sim: $scratch/loc.reg:2: LOC_NONE is defined in no --strings file (makeimg stops on a LOC_ token that no .str file defines): give it in a .str file or as --define LOC_NONE=VALUE" \
    --registry "$scratch/loc.reg" --strings "$design/en.str"
expect 0 "" --registry "$scratch/loc.reg" --strings "$design/en.str" --define 'LOC_NONE=Storage Card'
expect 2 "kelbrun-sim: --define LOC_NONE=\"Card: a .str line is #define LOC_NAME \"text\" (inserted with its quotes) or #define LOC_NAME ~\"text\" (inserted without them)" \
    --registry "$scratch/loc.reg" --define 'LOC_NONE="Card'
printf '#define LOC_A a\r\n' > "$scratch/bad.str"
expect 2 "kelbrun-sim: $scratch/bad.str:1: a .str line is #define LOC_NAME \"text\" (inserted with its quotes) or #define LOC_NAME ~\"text\" (inserted without them)" \
    --strings "$scratch/bad.str"
printf 'A=1\r\nnonsense\r\n' > "$scratch/bad-env.txt"
expect 2 "kelbrun-sim: $scratch/bad-env.txt:2: expected NAME=VALUE, as a build window's set > FILE writes it" \
    --environment "$scratch/bad-env.txt"
expect 2 "kelbrun-sim: $scratch/none.txt: cannot be read" --environment "$scratch/none.txt"
printf 'MODULES\r\n  a.exe\r\n' > "$scratch/bad.bib"
expect 2 "kelbrun-sim: $scratch/bad.bib:2: a MODULES or FILES line is NAME HOST-PATH MEMORY [FLAGS]" --bib "$scratch/bad.bib"
printf 'root:Directory("a")\r\n' > "$scratch/bad.dat"
expect 2 "kelbrun-sim: $scratch/bad.dat:1: a .dat line is root:-Directory(\"NAME\"), root:-File(\"NAME\",\"\\Windows\\FILE\"), Directory(\"\\PATH\"):-Directory(\"NAME\") or Directory(\"\\PATH\"):-File(\"NAME\",\"\\Windows\\FILE\")" \
    --dat "$scratch/bad.dat"
if [[ -z ${KELBRUN_NO_CODEPAGES:-} ]]; then
    printf '[HKEY_LOCAL_MACHINE\\A]\r\n"A"="\x81"\r\n' > "$scratch/unmapped.reg"
    expect 2 "kelbrun-sim: $scratch/unmapped.reg:2: byte 0x81 is no character of code page 1252 (--codepage N names the code page the file was written in)" \
        --registry "$scratch/unmapped.reg"
fi
expect 2 "kelbrun-sim: --codepage takes a Windows code page this host's converter knows, such as 1252 or 936; not 12x (kelbrun-sim --help shows the usage)" \
    --codepage 12x
expect 2 "kelbrun-sim: --map needs WINDOWS-FOLDER=HOST-FOLDER, such as 'C:\\WINCE500=/srv/wince500'; not C:\\X (kelbrun-sim --help shows the usage)" \
    --map 'C:\X'
expect 2 "kelbrun-sim: --map C:\\X=$scratch/none: $scratch/none is not a folder" --map "C:\\X=$scratch/none"

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the OS design reads as its image builder reads it"
