#!/usr/bin/env bash
# One device told two ways gives one run: examples/image-project from its image builder's files
# (platform.reg, then project.reg, with the build's variables) and from a registry editor export
# of what those files hold on that build (tests/image_project/). The trail and the events must
# be the same byte for byte, and so must the registry: kelbrun-sim's own export of each is the
# same file. That export, read back, gives the same run again.
#
# usage: image_project_test.sh KELBRUN_SIM
set -uo pipefail

sim=$1
here=$(cd "$(dirname "$0")" && pwd)
device=$here/../examples/image-project
exports=$here/image_project
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run NAME ARGS...: the run's trail and events in NAME.out and NAME.err, its status in NAME.status
run() {
    local name=$1
    shift
    local status=0
    "$sim" --no-wait --root "$device/root" "$@" > "$scratch/$name.out" 2> "$scratch/$name.err" ||
        status=$?
    echo "$status" > "$scratch/$name.status"
}

same_run() {  # A B WHAT
    local stream
    for stream in out err status; do
        if ! cmp -s "$scratch/$1.$stream" "$scratch/$2.$stream"; then
            fail "$3: the $stream differs"
            diff <(cat -A "$scratch/$1.$stream") <(cat -A "$scratch/$2.$stream")
        fi
    done
}

# The build's variables, one row a build: --define options (space-separated), and the export
# that the image builder's files equal under them.
while read -r export defines; do
    read -ra define_args <<< "$defines"
    label=${defines:-"no --define"}
    files=(--registry "$device/platform.reg" --registry "$device/project.reg")
    run image "${files[@]}" "${define_args[@]}"
    run export --registry "$exports/$export.reg"
    same_run image export "$label: the image builder's files and $export.reg"
    [[ $(cat "$scratch/image.status") == 0 ]] || fail "$label: exit status $(cat "$scratch/image.status")"

    "$sim" --root "$device/root" "${files[@]}" "${define_args[@]}" \
        --export-registry "$scratch/image.reg" 2> "$scratch/image-export.err" ||
        fail "$label: --export-registry: $(cat "$scratch/image-export.err")"
    "$sim" --registry "$exports/$export.reg" --export-registry "$scratch/export.reg" ||
        fail "$label: --export-registry of $export.reg"
    cmp -s "$scratch/image.reg" "$scratch/export.reg" ||
        fail "$label: the registry read from the image builder's files is not $export.reg's"
    run reread --registry "$scratch/image.reg"
    same_run image reread "$label: the export kelbrun-sim wrote, read back"
done << 'EOF_BUILDS'
storage-card --define BSP_CARD_AS_STORAGE_CARD
storage-card --define bsp_card_as_storage_card=0
storage-card --define OTHER --define Bsp_Card_As_Storage_Card=yes
sdmmc
sdmmc --define BSP_CARD_AS_STORAGE
sdmmc --define BSP_CARD_AS_STORAGE_CARDS=1
EOF_BUILDS

# The two builds really differ: the example's expected trail is the storage card's alone.
run card --registry "$exports/storage-card.reg"
run flash --registry "$exports/sdmmc.reg"
cmp -s "$scratch/card.out" "$device/expected.out" ||
    fail "storage-card.reg does not give examples/image-project/expected.out"
cmp -s "$scratch/card.out" "$scratch/flash.out" && fail "both builds give the same trail"

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the image builder's files and their editor exports give the same runs"
