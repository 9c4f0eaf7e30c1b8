#!/usr/bin/env bash
# The launcher on a real Win32 implementation: Wine's registry, file system, shell and debug
# channel. Each device description of the shared corpus is laid out on drive C: of a Wine
# prefix, the Windows build of the launcher runs there under debug-capture, and what it wrote,
# whether it paused and what really started are checked against the description's expected
# trail and against a run of the same description in kelbrun-sim.
#
# usage: wine_suite.sh prefix PREFIX
#        wine_suite.sh case PREFIX WIN64_BUILD_DIR KELBRUN_SIM CASE_DIR
set -euo pipefail
source "$(dirname "$0")/../../tools/device_case_args.sh"

export WINEDEBUG=-all
# No Mono or Gecko: their installers would ask for a download that this machine cannot make.
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY

die() {
    echo "wine suite: $*" >&2
    exit 1
}

need_wine() {
    command -v wine > /dev/null && command -v wineserver > /dev/null ||
        die "Wine is not installed: sudo apt-get install wine wine64"
}

make_prefix() {
    need_wine
    export WINEPREFIX
    WINEPREFIX=$(realpath -m "$1")
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i > /dev/null 2>&1
    timeout 120 wineserver -w
    [[ -d $WINEPREFIX/drive_c/windows ]] || die "wineboot made no prefix at $WINEPREFIX"
}

# Top-level names on drive C: that belong to Wine and that no device description may replace.
is_wine_folder() {
    case "${1,,}" in
        windows | users | "program files" | "program files (x86)" | programdata) return 0 ;;
    esac
    return 1
}

# Stands in for a storage card that mounts late: once the launcher has written its first line
# (it has started), waits MS milliseconds, then moves the folder held aside into place.
mount_later() {  # TRAIL_FILE MS HELD_FOLDER PLACE
    local tries
    for ((tries = 0; tries < 6000; tries++)); do
        [[ -s $1 ]] && break
        sleep 0.01
    done
    sleep "$(awk -v ms="$2" 'BEGIN {printf "%.3f", ms / 1000}')"
    mv "$3" "$4"
}

run_case() {
    need_wine
    export WINEPREFIX
    WINEPREFIX=$(realpath -m "$1")
    local win64 sim case_dir
    win64=$(realpath -m "$2")
    sim=$(realpath -m "$3")
    case_dir=$(realpath -m "$4")
    local drive_c=$WINEPREFIX/drive_c
    local name
    name=$(basename "$case_dir")
    for program in Kelbrun.EXE debug-capture.exe marker.exe; do
        [[ -f $win64/$program ]] || die "$win64/$program is missing: build it with" \
            "'cmake --preset win64 && cmake --build --preset win64' (needs mingw-w64)"
    done
    [[ -d $drive_c/windows ]] || die "no Wine prefix at $WINEPREFIX"

    # What the description asks of the run.
    read_case_args "$case_dir"
    local self='\Windows\Kelbrun.EXE' sim_args=(--no-wait "${case_args[@]}")
    local i mounts=()
    for ((i = 0; i < ${#case_args[@]}; i++)); do
        [[ ${case_args[i]} == --self ]] && self=${case_args[i + 1]:-$self}
        [[ ${case_args[i]} == --mount ]] && mounts+=("${case_args[i + 1]}")
    done

    local scratch
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"; wineserver -k 2> /dev/null || true' RETURN

    # A clean device: nothing left of the previous description, and no launcher key.
    wineserver -k 2> /dev/null || true
    if [[ -f $WINEPREFIX/kelbrun-laid-out ]]; then
        while IFS= read -r entry; do
            [[ -n $entry ]] && rm -rf "${drive_c:?}/$entry"
        done < "$WINEPREFIX/kelbrun-laid-out"
    fi
    rm -f "$drive_c/kelbrun-started.txt" "$drive_c/kelbrun-device.reg"
    : > "$WINEPREFIX/kelbrun-laid-out"
    wine reg delete 'HKLM\SOFTWARE\Tavrin' /f > /dev/null 2>&1 || true

    # The registry that kelbrun-sim reads for the description (every --registry file, merged,
    # its IF blocks decided by the --define options), written by kelbrun-sim as one editor
    # export, and imported the way a device owner would: both runs see the same registry,
    # whatever kind of files it came from.
    "$sim" "${case_args[@]}" --export-registry "$drive_c/kelbrun-device.reg" ||
        die "$case_dir: kelbrun-sim could not write its registry as an export"
    wine regedit /S 'C:\kelbrun-device.reg' > /dev/null 2>&1 ||
        die "$case_dir: Wine's regedit could not import the export of its registry"
    rm -f "$drive_c/kelbrun-device.reg"

    # The same description on the simulated device first: it says which programs a unit starts.
    local sim_status=0
    "$sim" "${sim_args[@]}" > "$scratch/sim.out" 2> "$scratch/sim.err" || sim_status=$?
    local refused
    refused=$(sed -n 's/^sim: open \(.*\): the shell shows .*/\1/p' "$scratch/sim.err")

    # The files. Where the unit and desktop Windows differ, the suite takes the unit's side, since
    # what is compared is the launcher's run on a unit: a program the unit starts becomes the
    # marker program, which notes that it ran; one the unit cannot start (text, the desktop
    # build, a program for another processor, --shell-fails) becomes a file Wine cannot start
    # either, although Wine would start a desktop program. The unit then shows its error box and
    # the launcher waits until it is closed, where Wine's shell fails without one: the trail, the
    # exit status and what started are the same; the box is the simulator's alone.
    if [[ -d $case_dir/root ]]; then
        for entry in "$case_dir"/root/*; do
            [[ -e $entry ]] || continue
            is_wine_folder "$(basename "$entry")" && die "$case_dir: root/$(basename "$entry") would replace Wine's own"
            basename "$entry" >> "$WINEPREFIX/kelbrun-laid-out"
            cp -r "$entry" "$drive_c/"
        done
        local program device_path
        while IFS= read -r -d '' program; do
            device_path="\\${program//\//\\}"
            if grep -qixF -- "$device_path" <<< "$refused"; then
                printf 'Not a program a unit starts.\r\n' > "$drive_c/$program"
            else
                cp "$win64/marker.exe" "$drive_c/$program"
            fi
        done < <(find "$case_dir/root" -type f \( -iname kelbrun.exe -o -iname navigon.exe \) -printf '%P\0')
    fi
    mkdir -p "$drive_c/kelbrun-tools"
    cp "$win64/debug-capture.exe" "$drive_c/kelbrun-tools/"
    echo "kelbrun-tools" >> "$WINEPREFIX/kelbrun-laid-out"

    # The launcher at its own path.
    local self_unix
    self_unix=$(wine winepath -u "C:$self" 2> /dev/null | tr -d '\r')
    [[ -n $self_unix ]] || die "cannot map $self onto drive C:"
    mkdir -p "$(dirname "$self_unix")"
    cp "$win64/Kelbrun.EXE" "$self_unix"
    local top=${self#\\}
    top=${top%%\\*}
    is_wine_folder "$top" || echo "$top" >> "$WINEPREFIX/kelbrun-laid-out"

    # Folders that mount late are held aside, and put in place while the launcher runs.
    local mount folder_unix mount_jobs=()
    for mount in "${mounts[@]}"; do
        folder_unix=$(wine winepath -u "C:${mount%=*}" 2> /dev/null | tr -d '\r')
        [[ -d $folder_unix ]] || die "$case_dir: --mount ${mount%=*} is no folder on drive C:"
        mkdir -p "$scratch/held"
        mv "$folder_unix" "$scratch/held/${#mount_jobs[@]}"
        mount_later "$scratch/wine.out" "${mount##*=}" "$scratch/held/${#mount_jobs[@]}" \
            "$folder_unix" &
        mount_jobs+=($!)
    done

    # The run, with the current directory on C:, so that "\SDMMC" means C:\SDMMC.
    local status=0
    (cd "$drive_c" && wine 'C:\kelbrun-tools\debug-capture.exe' --timing "C:$self") \
        > "$scratch/wine.out" 2> "$scratch/wine.err" || status=$?
    # What the launcher started, if anything: wait until every program in the prefix is done.
    # Wine's shell opens a folder in its file manager, which never ends by itself here.
    local opened=""
    local tries
    for ((tries = 0; tries < 40; tries++)); do
        timeout 0.5 wineserver -w && break
        pgrep -f 'explorer\.exe \\' > /dev/null && break
    done
    if [[ -f $drive_c/kelbrun-started.txt ]]; then
        opened=$(tr -d '\r' < "$drive_c/kelbrun-started.txt")
    fi
    local browser
    browser=$(pgrep -af 'explorer\.exe \\' | sed -n 's/^[0-9]* C:\\windows\\explorer\.exe //p' | head -n 1 || true)
    [[ -n $browser ]] && opened+="C:$browser (folder, in Wine's file manager)"
    wineserver -k 2> /dev/null || true
    local job mounted=1
    for job in "${mount_jobs[@]}"; do
        wait "$job" || mounted=0
    done

    # Did it pause? The gap after the last folder line is the pause, when there is one.
    local folder_line paused=0
    folder_line=$(grep -n -m 1 '^ResidentFlashDestPath: ' "$scratch/wine.out" | cut -d: -f1 || true)
    local times
    times=$(grep -oE '^debug-capture: [0-9]+ ms' "$scratch/wine.err" | grep -oE '[0-9]+' || true)
    local before="" after=""
    if [[ -n $folder_line ]]; then
        before=$(sed -n "${folder_line}p" <<< "$times")
        after=$(sed -n "$((folder_line + 1))p" <<< "$times")
    fi
    if [[ -n $before && -n $after && $((after - before)) -ge 2450 ]]; then
        paused=1
    fi

    # What the simulated device started: a program, or a folder in an Explorer window.
    local sim_paused=0 sim_opened=""
    grep -qx 'sim: sleep 2500 ms' "$scratch/sim.err" && sim_paused=1
    sim_opened=$(sed -n -e 's/^sim: open \(.*\): an Explorer window opens on the folder$/\1/p' \
        -e '/^sim: open .*: /d' -e 's/^sim: open //p' "$scratch/sim.err" | sed 's/^/C:/' || true)

    local failed=0
    report() {
        echo "$name: $*"
        failed=1
    }
    cmp -s "$case_dir/expected.out" "$scratch/wine.out" ||
        report "Wine's trail differs from expected.out:" \
            "$(diff <(cat -A "$case_dir/expected.out") <(cat -A "$scratch/wine.out"))"
    cmp -s "$scratch/sim.out" "$scratch/wine.out" ||
        report "Wine's trail differs from kelbrun-sim's"
    [[ $mounted -eq 1 ]] || report "a folder held aside could not be put back in place"
    [[ $status -eq 0 ]] || report "exit status under Wine: $status"
    [[ $status -eq $sim_status ]] || report "exit status $status under Wine, $sim_status in kelbrun-sim"
    [[ $paused -eq $sim_paused ]] ||
        report "paused under Wine: $paused (gap $before..$after ms), in kelbrun-sim: $sim_paused"
    # Wine names the started program by its full path, drive and all, in the case it was
    # asked for; the simulated device by the device path.
    local wine_started=${opened%% (folder*}
    if [[ ${wine_started,,} != "${sim_opened,,}" ]]; then
        report "started under Wine: '${opened:-nothing}', in kelbrun-sim: '${sim_opened:-nothing}'"
    fi
    if [[ $failed -eq 0 ]]; then
        echo "$name: trail, exit status, pause ($paused) and start ('${opened:-nothing}') agree"
    else
        echo "--- Wine stderr:"
        cat "$scratch/wine.err"
        echo "--- kelbrun-sim stderr:"
        cat "$scratch/sim.err"
    fi
    return $failed
}

case ${1:-} in
    prefix) make_prefix "$2" ;;
    case) run_case "$2" "$3" "$4" "$5" ;;
    *) die "usage: wine_suite.sh prefix PREFIX | case PREFIX WIN64_BUILD_DIR KELBRUN_SIM CASE_DIR" ;;
esac
