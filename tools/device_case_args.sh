# Sourced by the scripts that run a device description (a folder with device.reg, root/ and
# optionally args, extra kelbrun-sim arguments one a line).

# Fills the array case_args with the kelbrun-sim arguments that the description CASE_DIR asks
# for: --registry and --root when it has them, then the lines of its args file. A file or
# folder that args names by a relative path (after --registry, --root, --bib, --dat, --strings,
# --environment, or the host folder of a --map) is taken from the description's folder, so that
# the description runs from any working directory.
read_case_args() {
    local case_dir=$1 arg previous="" folder
    folder=$(cd "$case_dir" && pwd) || return 1
    case_args=()
    [[ -f $case_dir/device.reg ]] && case_args+=(--registry "$case_dir/device.reg")
    [[ -d $case_dir/root ]] && case_args+=(--root "$case_dir/root")
    if [[ -f $case_dir/args ]]; then
        while IFS= read -r arg; do
            [[ -n $arg ]] || continue
            case $previous in
                --registry | --root | --bib | --dat | --strings | --environment)
                    [[ $arg == /* ]] || arg=$folder/$arg
                    ;;
                --map)
                    # WINDOWS-PREFIX=HOST-FOLDER: the host folder is the description's too.
                    [[ ${arg#*=} == /* ]] || arg=${arg%%=*}=$folder/${arg#*=}
                    ;;
            esac
            case_args+=("$arg")
            previous=$arg
        done < "$case_dir/args"
    fi
    return 0
}
