#!/usr/bin/env python3
"""Deepest stack use along the call chain from an entry point, from GCC's -fcallgraph-info=su
graphs (.ci files). Functions without a figure (the platform's) count as 0 and are named.

usage: stack_depth.py ENTRY_NAME CI_FILE...
"""
import re
import sys

node_re = re.compile(r'node: \{ title: "([^"]*)" label: "([^"]*)"')
edge_re = re.compile(r'edge: \{ sourcename: "([^"]*)" targetname: "([^"]*)"')


def main():
    entry, files = sys.argv[1], sys.argv[2:]
    stack, names, calls = {}, {}, {}
    for path in files:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if m := node_re.search(line):
                    title, label = m.groups()
                    signature = label.split("\\n")[0]
                    # Variadic functions come with a mangled label; their title is the name.
                    name = signature.split("(")[0].split()[-1] if "(" in signature[1:] else title
                    if m := re.match(r"_Z(\d+)", name):  # a plain mangled name: its identifier
                        name = name[m.end():m.end() + int(m.group(1))]
                    names.setdefault(title, name)
                    if s := re.search(r"\\n(\d+) bytes \((static|dynamic[^)]*)\)", label):
                        stack[title] = int(s.group(1))
                elif m := edge_re.search(line):
                    calls.setdefault(m.group(1), set()).add(m.group(2))
    starts = [t for t in names if entry in (t, names[t]) or t.endswith(":" + entry)]
    if not starts:
        sys.exit(f"stack_depth: no function {entry} in the graphs")

    def deepest(title, seen):
        if title in seen:
            sys.exit(f"stack_depth: recursion through {names[title]}")
        below = [deepest(c, seen | {title}) for c in sorted(calls.get(title, ()))]
        best = max(below, key=lambda b: b[0], default=(0, []))
        return stack.get(title, 0) + best[0], [title] + best[1]

    total, chain = deepest(starts[0], frozenset())
    unknown = sorted({names[t] for t in chain if t not in stack})
    line = f"{total}: " + " -> ".join(f"{names[t]} {stack.get(t, '?')}" for t in chain)
    if unknown:
        line += " (not counted: the platform's " + ", ".join(unknown) + ")"
    print(line)


main()
