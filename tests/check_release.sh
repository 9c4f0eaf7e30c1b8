#!/usr/bin/env bash
# What an integrator takes away must hold what the README promises.
#
# usage: [EMULATOR=...] check_release.sh install BUILD_DIR
#                                               (a host build: cmake --install into a scratch
#                                                prefix, then every installed example dry-runs
#                                                as expected with the installed kelbrun-sim, run
#                                                under EMULATOR in a cross build)
#        check_release.sh archive ZIP           (the win64 release archive: the launcher,
#                                                debug-capture, the README and its pages, the
#                                                examples)
#        check_release.sh device-archive ZIP    (the device's release archive: the launcher with
#                                                a checksum that holds, its imports list naming
#                                                every function it imports with its ordinal and
#                                                component, the README and its pages, the
#                                                examples and the OS image fragments)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../examples" && ls -d */ | tr -d /)
pages=$(cd "$here/.." && ls docs/*.md)

failures=0
fail() {
    echo "release: $*"
    failures=$((failures + 1))
}

case ${1:-} in
    install)
        scratch=$(mktemp -d)
        trap 'rm -rf "$scratch"' EXIT
        cmake --install "$2" --prefix "$scratch/prefix" > /dev/null
        sim=$scratch/prefix/bin/kelbrun-sim
        [[ -x $sim ]] || fail "no bin/kelbrun-sim"
        if [[ -n ${EMULATOR:-} ]]; then
            printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$EMULATOR" "$sim" > "$scratch/sim-run"
            chmod +x "$scratch/sim-run"
            sim=$scratch/sim-run
        fi
        for example in $examples; do
            installed=$scratch/prefix/share/kelbrun/examples/$example
            if [[ ! -f $installed/expected.out ]]; then
                fail "share/kelbrun/examples/$example is missing"
            elif [[ -x $sim ]]; then
                "$here/run_device_case.sh" "$sim" "$installed" || fail "installed $example differs"
                "$here/run_check_case.sh" "$sim" "$installed" ||
                    fail "installed $example's --check differs"
            fi
        done
        ;;
    archive)
        [[ -f $2 ]] || { echo "release: no archive at $2" >&2; exit 1; }
        listing=$(cmake -E tar tf "$2")
        top=$(basename "$2" .zip)
        for entry in Kelbrun.EXE debug-capture.exe README.md $pages \
            $(for example in $examples; do echo "examples/$example/expected.out"; done); do
            grep -qxF "$top/$entry" <<< "$listing" || fail "$2 lacks $top/$entry"
        done
        ;;
    device-archive)
        [[ -f $2 ]] || { echo "release: no archive at $2" >&2; exit 1; }
        listing=$(cmake -E tar tf "$2")
        top=$(basename "$2" .zip)
        for entry in Kelbrun.EXE Kelbrun.EXE.sha256 IMPORTS.txt README.md $pages \
            platform-builder/Kelbrun.bib \
            platform-builder/Kelbrun.reg \
            $(for example in $examples; do echo "examples/$example/expected.out"; done); do
            grep -qxF "$top/$entry" <<< "$listing" || fail "$2 lacks $top/$entry"
        done
        grep -qxF "$top/debug-capture.exe" <<< "$listing" && fail "$2 holds a desktop program"
        scratch=$(mktemp -d)
        trap 'rm -rf "$scratch"' EXIT
        archive=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
        (cd "$scratch" && cmake -E tar xf "$archive")
        (cd "$scratch/$top" && sha256sum --quiet -c Kelbrun.EXE.sha256) ||
            fail "the launcher in $2 does not match its Kelbrun.EXE.sha256"
        # The imports list names each function the archived launcher imports, no other, with
        # its ordinal and component as COREDLL's export table gives them, and the two lines the
        # unit's loader prints when the OS image lacks it.
        list=$scratch/$top/IMPORTS.txt
        if [[ -f $list ]]; then
            ordinals=$(/usr/bin/python3 "$here/wince/list_ordinals.py" "$scratch/$top/Kelbrun.EXE") ||
                fail "cannot read the imports of the launcher in $2"
            count=0
            for ordinal in $ordinals; do
                count=$((count + 1))
                row=$(awk -v o="$ordinal" '!/^#/ && NF == 3 && $2 == o' "$here/../platform/coredll.exports")
                if [[ -z $row ]]; then
                    fail "the launcher in $2 imports ordinal $ordinal, not in platform/coredll.exports"
                    continue
                fi
                read -r name _ component <<< "$row"
                grep -qE "^$name +$ordinal  $component\$" "$list" ||
                    fail "IMPORTS.txt in $2 lacks $name, ordinal $ordinal, $component"
                grep -qxF "    ERROR: function @ Ordinal $ordinal missing in Module 'coredll.dll'" "$list" ||
                    fail "IMPORTS.txt in $2 lacks the loader's line for ordinal $ordinal"
            done
            [[ $count -gt 0 ]] || fail "the launcher in $2 imports nothing by ordinal"
            listed=$(grep -cE '^[A-Za-z_][A-Za-z0-9_]* +[0-9]+  [A-Z_a-z]+$' "$list" || true)
            [[ $listed -eq $count ]] ||
                fail "IMPORTS.txt in $2 lists $listed functions; the launcher imports $count"
            [[ $(grep -cxF '    !!! Please Check your SYSGEN variable !!!' "$list") -eq $count ]] ||
                fail "IMPORTS.txt in $2 lacks the loader's second line for some function"
        fi
        ;;
    *)
        echo "usage: check_release.sh install BUILD_DIR | archive ZIP | device-archive ZIP" >&2
        exit 2
        ;;
esac
if [[ $failures -ne 0 ]]; then
    exit 1
fi
echo "release ($1): everything in place"
