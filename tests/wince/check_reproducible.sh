#!/usr/bin/env bash
# Builds a device preset twice from clean, in two build folders of different names, and compares
# the executables and the integrator's imports list byte for byte: nothing of the build folder,
# the time or the order of the build may reach them.
#   check_reproducible.sh PRESET SCRATCH
# PRESET: wince or wince-thumb. SCRATCH: a folder for the two builds (emptied first).
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 PRESET SCRATCH" >&2
    exit 2
fi
preset=$1
scratch=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
first=$scratch/first
second=$scratch/second-build-elsewhere
for build in "$first" "$second"; do
    (cd "$source_dir" && cmake --preset "$preset" -B "$build" > /dev/null)
    # One job for one of them: a different order of the build steps.
    if [[ $build == "$first" ]]; then jobs=2; else jobs=1; fi
    cmake --build "$build" -j "$jobs" > /dev/null
done

count=0
status=0
while IFS= read -r -d '' exe; do
    relative=${exe#"$first"/}
    count=$((count + 1))
    if ! cmp "$exe" "$second/$relative"; then
        echo "check_reproducible: $preset: $relative differs between two builds" >&2
        status=1
    fi
done < <(find "$first" \( -name '*.exe' -o -name '*.EXE' -o -name '*.dll' -o -name IMPORTS.txt \) \
    -print0 | sort -z)
# Without the launcher among them, the comparison would prove little.
if [[ ! -f $first/Kelbrun.EXE || $count -lt 2 ]]; then
    echo "check_reproducible: $preset: the builds made no Kelbrun.EXE or no test program" >&2
    exit 1
fi
if [[ $status -eq 0 ]]; then
    echo "check_reproducible: $preset: $count files identical in two builds"
fi
# The examples and the corpus hold the ARM build's programs: they are what a clean build makes.
if [[ $preset == wince ]]; then
    "$source_dir/tests/stand-ins/check_example_programs.sh" device "$first" || status=1
fi
exit $status
