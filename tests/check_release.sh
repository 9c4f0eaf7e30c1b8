#!/usr/bin/env bash
# What an integrator takes away must hold what the README promises.
#
# usage: [EMULATOR=...] check_release.sh install BUILD_DIR
#                                               (a host build: cmake --install into a scratch
#                                                prefix, then every installed example dry-runs
#                                                as expected with the installed kelbrun-sim, run
#                                                under EMULATOR in a cross build)
#        check_release.sh archive ZIP           (the win64 release archive)
#        check_release.sh device-archive ZIP    (the device's release archive: the launcher with
#                                                a checksum that holds, the README, the examples
#                                                and the OS image fragments)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../examples" && ls -d */ | tr -d /)

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
        for entry in Kelbrun.EXE debug-capture.exe README.md \
            $(for example in $examples; do echo "examples/$example/expected.out"; done); do
            grep -qxF "$top/$entry" <<< "$listing" || fail "$2 lacks $top/$entry"
        done
        ;;
    device-archive)
        [[ -f $2 ]] || { echo "release: no archive at $2" >&2; exit 1; }
        listing=$(cmake -E tar tf "$2")
        top=$(basename "$2" .zip)
        for entry in Kelbrun.EXE Kelbrun.EXE.sha256 README.md platform-builder/Kelbrun.bib \
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
