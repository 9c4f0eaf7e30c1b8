#!/usr/bin/env bash
# The programs the example devices and the device corpus hold are what the project's builds
# make, byte for byte:
#   check_example_programs.sh device BUILD   every Kelbrun.EXE that is a program (a file that
#                                            starts with MZ; the corpus keeps some that are text
#                                            on purpose) against BUILD/Kelbrun.EXE, every other
#                                            against BUILD/tests/stand-ins/StandIn.exe (BUILD:
#                                            a clean wince build)
#   check_example_programs.sh desktop SCRATCH the desktop stand-in against a build of its source
#                                            with mingw-w64 in SCRATCH
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../.." && pwd)
desktop_copies=("$examples/examples/card-desktop-build/root/SDMMC/UPDATE/Kelbrun.EXE")

if [[ $# -ne 2 ]]; then
    echo "usage: $0 device BUILD | desktop SCRATCH" >&2
    exit 2
fi
status=0
compare() {  # COMMITTED BUILT
    if ! cmp -s "$1" "$2"; then
        echo "check_example_programs: ${1#"$examples"/} is not what the build makes ($2)" >&2
        status=1
    fi
}

case $1 in
    device)
        count=0
        while IFS= read -r -d '' program; do
            [[ " ${desktop_copies[*]} " == *" $program "* ]] && continue
            [[ $(head -c 2 "$program") == MZ ]] || continue
            if [[ ${program##*/} == Kelbrun.EXE ]]; then
                compare "$program" "$2/Kelbrun.EXE"
            else
                compare "$program" "$2/tests/stand-ins/StandIn.exe"
            fi
            count=$((count + 1))
        done < <(find "$examples/examples" "$examples/tests/devices" -type f -iname '*.exe' -print0 |
            sort -z)
        [[ $count -gt 0 ]] || { echo "check_example_programs: no programs in the examples" >&2; exit 1; }
        [[ $status -eq 0 ]] && echo "check_example_programs: $count example programs as the build makes them"
        ;;
    desktop)
        mkdir -p "$2"
        # No time stamp, no symbols, no start-up files: the same bytes from any build.
        x86_64-w64-mingw32-gcc -Os -s -nostdlib -nostartfiles -Wl,--no-insert-timestamp \
            -Wl,-e,DesktopEntry -Wl,--subsystem,windows -o "$2/Kelbrun.EXE" \
            "$here/desktop_stand_in.c" -lkernel32
        for copy in "${desktop_copies[@]}"; do
            compare "$copy" "$2/Kelbrun.EXE"
        done
        [[ $status -eq 0 ]] && echo "check_example_programs: the desktop stand-in as mingw-w64 makes it"
        ;;
    *)
        echo "usage: $0 device BUILD | desktop SCRATCH" >&2
        exit 2
        ;;
esac
exit $status
