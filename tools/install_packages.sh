# shellcheck shell=bash
# Sourced by tools/run-tests and tools/dry-run: brings in the Debian packages a script found
# missing, so that a fresh machine needs nothing but the script itself.
#
# install_missing WHO NO_INSTALL PACKAGE...
#   Does nothing when no PACKAGE is given. With NO_INSTALL set to 1 it only names what is
#   missing and the command that would install it, and exits 2. Otherwise it says what it
#   installs, then runs apt-get update once and apt-get install, as root directly or else
#   through sudo, without questions (CI runs as root with no stdin). Everything it and apt-get
#   print goes to standard error: a dry run's standard output is the launcher's trail alone.
#   When installing is impossible or fails, it says so in one line and exits 2.
install_missing() {
    local who=$1 no_install=$2
    shift 2
    [[ $# -ne 0 ]] || return 0
    if [[ $no_install == 1 ]]; then
        echo "$who: missing: $*" >&2
        echo "$who: install with: sudo apt-get install $*" >&2
        exit 2
    fi
    local as_root=()
    if [[ $(id -u) -ne 0 ]]; then
        if ! command -v sudo > /dev/null; then
            echo "$who: missing: $*; not root and no sudo to install them with" >&2
            exit 2
        fi
        as_root=(sudo)
    fi
    if ! command -v apt-get > /dev/null; then
        echo "$who: missing: $*; no apt-get to install them with (not Debian?)" >&2
        exit 2
    fi
    echo "$who: installing: $*" >&2
    if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq < /dev/null >&2; then
        echo "$who: apt-get update failed; nothing installed" >&2
        exit 2
    fi
    if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq "$@" < /dev/null >&2; then
        echo "$who: apt-get install $* failed" >&2
        exit 2
    fi
}
