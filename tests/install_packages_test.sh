#!/usr/bin/env bash
# tools/install_packages.sh, run against stand-ins for id, sudo and apt-get that only note what
# they were asked: what it runs, as whom, in which order, what it prints where, and its exit
# status, as root and not, with and without sudo and apt-get, and when apt-get fails.
#
# usage: install_packages_test.sh INSTALL_PACKAGES_SH
set -euo pipefail
script=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
real_env=$(command -v env)
real_bash=$(command -v bash)

# A folder of stand-ins, the only thing on the PATH. UID: what id -u says; TOOLS: which of sudo
# and apt-get exist; FAIL: the apt-get command (update or install) that fails, if any.
make_bin() {
    local uid=$1 tools=$2 fail=$3 bin=$scratch/bin
    rm -rf "$bin" "$scratch/log"
    mkdir -p "$bin"
    ln -s "$real_env" "$bin/env"
    printf '#!%s\necho %s\n' "$real_bash" "$uid" > "$bin/id"
    if [[ $tools == *sudo* ]]; then
        printf '#!%s\necho "sudo" >> %s/log\nexec "$@"\n' "$real_bash" "$scratch" > "$bin/sudo"
    fi
    if [[ $tools == *apt-get* ]]; then
        cat > "$bin/apt-get" << EOF
#!$real_bash
echo "apt-get \$* DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-}" >> $scratch/log
echo "apt-get's own output"
[[ \$1 != "$fail" ]]
EOF
    fi
    chmod +x "$bin"/*
}

failures=0
# Each case: uid, tools present, failing apt-get command, no-install flag, packages; then the
# exit status, the standard error and the log expected (lines joined with "|"). Standard output
# must stay empty in every case.
check() {
    local uid=$1 tools=$2 fail=$3 no_install=$4 packages=$5 status=$6 err=$7 log=$8
    local got_status=0 got_err got_log=""
    make_bin "$uid" "$tools" "$fail"
    # The packages are words; DEBIAN_FRONTEND must come from the script, not from here.
    # shellcheck disable=SC2016
    PATH=$scratch/bin DEBIAN_FRONTEND='' "$real_bash" -c \
        'source "$0"; install_missing who "$1" $2; echo "returned" >&2' \
        "$script" "$no_install" "$packages" > "$scratch/out" 2> "$scratch/err" || got_status=$?
    got_err=$(paste -sd '|' "$scratch/err")
    [[ -f $scratch/log ]] && got_log=$(paste -sd '|' "$scratch/log")
    local what="uid $uid, tools '$tools', failing '$fail', no-install $no_install, '$packages'"
    if [[ $got_status -ne $status || $got_err != "$err" || $got_log != "$log" ||
        -s $scratch/out ]]; then
        echo "FAIL ($what):"
        echo "  status $got_status, expected $status"
        echo "  stderr '$got_err'"
        echo "  expected '$err'"
        echo "  log '$got_log'"
        echo "  expected '$log'"
        echo "  stdout '$(cat "$scratch/out")'"
        failures=$((failures + 1))
    fi
}

apt="apt-get's own output"
update="apt-get update -qq DEBIAN_FRONTEND=noninteractive"
install="apt-get install -y -qq cmake g++ DEBIAN_FRONTEND=noninteractive"
# Nothing missing: nothing done, whoever runs it.
check 0 "sudo apt-get" "" 0 "" 0 "returned" ""
check 1000 "" "" 1 "" 0 "returned" ""
# Only reporting: names the packages and the command, installs nothing.
check 0 "sudo apt-get" "" 1 "cmake g++" 2 \
    "who: missing: cmake g++|who: install with: sudo apt-get install cmake g++" ""
# Root: apt-get directly, update once and then install, its output on standard error.
check 0 "sudo apt-get" "" 0 "cmake g++" 0 \
    "who: installing: cmake g++|$apt|$apt|returned" "$update|$install"
check 0 "apt-get" "" 0 "cmake g++" 0 \
    "who: installing: cmake g++|$apt|$apt|returned" "$update|$install"
# Not root: the same through sudo; without sudo, nothing.
check 1000 "sudo apt-get" "" 0 "cmake g++" 0 \
    "who: installing: cmake g++|$apt|$apt|returned" "sudo|$update|sudo|$install"
check 1000 "apt-get" "" 0 "cmake g++" 2 \
    "who: missing: cmake g++; not root and no sudo to install them with" ""
# No apt-get at all.
check 0 "sudo" "" 0 "cmake g++" 2 \
    "who: missing: cmake g++; no apt-get to install them with (not Debian?)" ""
# apt-get failing: at the update nothing is installed; at the install it says so.
check 0 "apt-get" "update" 0 "cmake g++" 2 \
    "who: installing: cmake g++|$apt|who: apt-get update failed; nothing installed" "$update"
check 1000 "sudo apt-get" "install" 0 "cmake g++" 2 \
    "who: installing: cmake g++|$apt|$apt|who: apt-get install cmake g++ failed" \
    "sudo|$update|sudo|$install"

if [[ $failures -ne 0 ]]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "install_packages: every case as expected"
