#!/usr/bin/env bash
# kelbrun-sim --release on a release folder made from the project's own files (tests/release/,
# with a build's Kelbrun.EXE and the tests' coredll.dll beside them): it runs that Kelbrun.EXE on
# that DLL with the folder's registry and image, and gives the card-update example's trail and
# report; the image's \Windows holds the folder's files; a folder without its coredll.dll is
# refused in one line.
#
# usage: release_folder_test.sh KELBRUN_SIM BUILD_DIR
set -uo pipefail

sim=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

release=$scratch/release
mkdir -p "$release"
cp "$here/release/reginit.ini" "$here/release/ce.bib" "$here/release/initobj.dat" "$release/"
cp "$build/Kelbrun.EXE" "$release/"
cp "$build/tests/wince/coredll/coredll.dll" "$release/"

failed=0
"$sim" --no-wait --release "$release" --root "$here/../examples/card-update/root" \
    > "$scratch/out" 2> "$scratch/err"
status=$?
[[ $status -eq 0 ]] || { echo "exit status $status, expected 0"; cat "$scratch/err"; failed=1; }
# No wince.nls beside the DLL: the report says once that the kernel made up the locale, apart
# from the launcher's report.
locale_line='^sim: coredll\.dll: no wince\.nls beside it: the simulated kernel gives it a locale view'
if [[ $(grep -c "$locale_line" "$scratch/err") -ne 1 ]]; then
    echo "the locale the kernel made up is not said once:"
    cat "$scratch/err"
    failed=1
fi
grep -v '^sim: coredll\.dll' "$scratch/err" > "$scratch/err.launcher"
mv "$scratch/err.launcher" "$scratch/err"
for stream in out err; do
    if ! cmp -s "$here/../examples/card-update/expected.$stream" "$scratch/$stream"; then
        echo "standard $stream differs from examples/card-update/expected.$stream:"
        diff "$here/../examples/card-update/expected.$stream" "$scratch/$stream"
        failed=1
    fi
done

# The folder's Kelbrun.EXE, as the image's \Windows\Kelbrun.EXE, is what --check finds there.
"$sim" --release "$release" --root "$here/../examples/card-update/root" --check \
    > "$scratch/check" 2>&1
if ! grep -Eq '^  50  Kelbrun.EXE  waits for 20, 30  <- the launcher$' "$scratch/check"; then
    echo "--check on the release folder does not find the launcher in the image:"
    cat "$scratch/check"
    failed=1
fi

if grep -q '^check: .*COREDLL' "$scratch/check"; then
    echo "--check finds the launcher's imports missing from a coredll.dll that has them all:"
    cat "$scratch/check"
    failed=1
fi
# The launcher's imports are judged by the folder's coredll.dll itself: one without
# NKDbgPrintfW's ordinal (545) is a finding naming the loader's line.
python3 - "$release/coredll.dll" "$scratch/lacking.dll" <<'PATCH'
import struct, sys
dll = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", dll, 0x3C)[0]
sections = [struct.unpack_from("<IIII", dll, pe + 24 + 224 + 40 * i + 8) for i in range(struct.unpack_from("<H", dll, pe + 6)[0])]
def at(rva):
    return next(raw + rva - va for size, va, rawsize, raw in sections if va <= rva < va + max(size, rawsize))
exports = at(struct.unpack_from("<I", dll, pe + 24 + 96)[0])
base, functions = struct.unpack_from("<I", dll, exports + 16)[0], struct.unpack_from("<I", dll, exports + 28)[0]
struct.pack_into("<I", dll, at(functions) + 4 * (545 - base), 0)
open(sys.argv[2], "wb").write(dll)
PATCH
"$sim" --release "$release" --coredll "$scratch/lacking.dll" --root "$here/../examples/card-update/root" \
    --check > "$scratch/check" 2>&1
if ! grep -q "^check: error: COREDLL: the launcher imports NKDbgPrintfW (ordinal 545), which the image's coredll.dll does not export: .*ERROR: function @ Ordinal 545 missing in Module 'coredll.dll'" "$scratch/check"; then
    echo "--check with a coredll.dll lacking ordinal 545:"
    cat "$scratch/check"
    failed=1
fi

# A --coredll of the command line wins over the folder's: here one that is no DLL at all.
"$sim" --no-wait --release "$release" --coredll "$release/ce.bib" > "$scratch/out" 2> "$scratch/err"
status=$?
if [[ $status -ne 2 ]] || ! grep -q "^kelbrun-sim: $release/ce.bib: not a Windows CE ARM coredll.dll" \
    "$scratch/err"; then
    echo "--coredll beside --release: exit status $status, and:"
    cat "$scratch/err"
    failed=1
fi

# The image's wince.nls beside its coredll.dll is the locale data the kernel maps: the tests'
# DLL, left with its own CompareStringW, takes the card's copy for a shortcut and starts nothing:
# its shell shows a box under the file's name and never asks the kernel for the card's path.
head -c 8192 /dev/zero > "$release/wince.nls"
"$sim" --no-wait --release "$release" --root "$here/../examples/card-update/root" \
    > "$scratch/out" 2> "$scratch/err"
if grep -q '^sim: open \\' "$scratch/err" || grep -q "$locale_line" "$scratch/err" ||
    ! grep -q '^sim: open Kelbrun.EXE: the shell shows' "$scratch/err"; then
    echo "with wince.nls beside coredll.dll, the kernel still answered for COREDLL:"
    cat "$scratch/err"
    failed=1
fi
rm "$release/wince.nls"

rm "$release/coredll.dll"
"$sim" --no-wait --release "$release" > "$scratch/out" 2> "$scratch/err"
status=$?
if [[ $status -ne 2 ]] || [[ $(wc -l < "$scratch/err") -ne 1 ]] ||
    ! grep -q "^kelbrun-sim: --release $release: no coredll.dll in it" "$scratch/err"; then
    echo "a folder without coredll.dll: exit status $status, and:"
    cat "$scratch/err"
    failed=1
fi
exit $failed
