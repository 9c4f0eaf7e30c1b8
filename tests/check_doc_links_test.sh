#!/usr/bin/env bash
# The page checker finds what it must and nothing else: each case writes one page into a small
# project and compares the checker's exit status and its first line with what is expected.
#
# usage: check_doc_links_test.sh CHECKER
set -euo pipefail
checker=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A project with a tool, an example, two source files and one page besides the README.
make_project() {
    rm -rf "$scratch/p"
    mkdir -p "$scratch/p/tools" "$scratch/p/examples/card-update" "$scratch/p/launcher" \
        "$scratch/p/docs"
    touch "$scratch/p/tools/run-tests" "$scratch/p/launcher/a.cpp" "$scratch/p/launcher/b.cpp"
    printf '# Kelbrun\n\n## Two commands\n\n## Two commands\n' > "$scratch/p/README.md"
    printf '# Page\n\n## Running `kelbrun-sim --exe`: the loader\n\ntext\n' \
        > "$scratch/p/docs/page.md"
}

failures=0
# Each case: the page to write (README.md or docs/page.md), its text (printf format), the exit
# status expected, and the first line expected (empty: not compared, the status is 0).
check() {
    local page=$1 text=$2 status=$3 first=$4 got_status=0 output
    make_project
    printf "$text" > "$scratch/p/$page"
    output=$("$checker" "$scratch/p" 2>&1) || got_status=$?
    if [[ $got_status -ne $status ]]; then
        echo "FAIL ($page: $text): exit status $got_status, expected $status: $output"
        failures=$((failures + 1))
    elif [[ -n $first && ${output%%$'\n'*} != "$first" ]]; then
        echo "FAIL ($page: $text): first line '${output%%$'\n'*}', expected '$first'"
        failures=$((failures + 1))
    fi
}

# Links that hold: to a page, to a folder, to a heading (also the second of two alike, and one
# with code and punctuation in it), within the page, from docs/ back up, and to the web.
check README.md '[p](docs/page.md) [d](examples/card-update)\n' 0 ''
check README.md '[p](docs/page.md#running-kelbrun-sim---exe-the-loader)\n' 0 ''
check README.md '# K\n\n## Two commands\n\n## Two commands\n\n[a](#two-commands-1)\n' 0 ''
check docs/page.md '# P\n\n## Here\n\n[up](../README.md#two-commands) [h](#here)\n' 0 ''
check README.md '[w](https://example.org/x.md) [m](mailto:a@example.org)\n' 0 ''
# Links that do not.
check README.md 'line one\n[p](docs/pages.md)\n' \
    1 'README.md:2: link docs/pages.md: no such file or folder'
check README.md '[p](docs/page.md#running)\n' \
    1 'README.md:1: link docs/page.md#running: no heading #running in docs/page.md'
check README.md '# K\n\n## Two commands\n\n## Two commands\n\n[a](#two-commands-2)\n' \
    1 'README.md:7: link #two-commands-2: no heading #two-commands-2 in README.md'
check docs/page.md '[r](README.md)\n' 1 'docs/page.md:1: link README.md: no such file or folder'
check docs/page.md '[r](../../outside.md)\n' \
    1 'docs/page.md:1: link ../../outside.md leads out of the project'
check README.md '[t](tools/run-tests#x)\n' \
    1 'README.md:1: link tools/run-tests#x: an anchor into something that is not a page'
check README.md 'A [link over\ntwo lines](docs/gone.md).\n' \
    1 'README.md:2: link docs/gone.md: no such file or folder'
check README.md 'A `span\nover` lines, then [x](docs/gone.md).\n' \
    1 'README.md:2: link docs/gone.md: no such file or folder'
check README.md '[fine](docs/page.md) and [broken](docs/gone.md)\n' \
    1 'README.md:1: link docs/gone.md: no such file or folder'
# Files named in code: in spans, in indented and fenced blocks, as commands with arguments,
# with a trailing folder slash or punctuation, and as patterns.
check README.md 'Run `tools/run-tests`, or `tools/run-tests --no-install`.\n' 0 ''
check README.md 'Text:\n\n    tools/run-tests examples/card-update\n' 0 ''
check README.md '`launcher/*.cpp` and `examples/` (`examples/card-update`).\n' 0 ''
check README.md 'Run `tools/run-test`.\n' 1 'README.md:1: tools/run-test: no such file or folder'
check README.md 'Text:\n\n    tools/dry-run examples/card-update\n' \
    1 'README.md:3: tools/dry-run: no such file or folder'
check README.md 'Text:\n\n    tools/run-tests\n    tools/dry-run\n' \
    1 'README.md:4: tools/dry-run: no such file or folder'
check README.md 'a\n\n```\ncd x\nexamples/card-updates\n```\n' \
    1 'README.md:5: examples/card-updates: no such file or folder'
check README.md 'In `tools/run-tests/` it is.\n' 1 'README.md:1: tools/run-tests/: no such folder'
check README.md 'A span `over\na` line, then `tools/gone`.\n' \
    1 'README.md:2: tools/gone: no such file or folder'
check README.md 'Run `--flag\ntools/gone` now.\n' \
    1 'README.md:2: tools/gone: no such file or folder'
check README.md '`launcher/*.h` too.\n' 1 'README.md:1: launcher/*.h matches nothing'
check docs/page.md 'From here: `tools/gone`.\n' \
    1 'docs/page.md:1: tools/gone: no such file or folder'
# What is not a project file: build output, other roots, device paths, a link shown as code.
check README.md '`build/wince/Kelbrun.EXE`, `bin/`, `~/kelbrun`, `\\SDMMC\\UPDATE`, `/usr/x/y`\n' \
    0 ''
check README.md 'Write `[p](docs/gone.md)` for a link.\n' 0 ''
# Bad use of the checker itself.
status=0
"$checker" "$scratch/none" > /dev/null 2>&1 || status=$?
if [[ $status -ne 2 ]]; then
    echo "FAIL: a folder without README.md gives exit status $status, expected 2"
    failures=$((failures + 1))
fi

if [[ $failures -ne 0 ]]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "check_doc_links: every case as expected"
