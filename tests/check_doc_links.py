#!/usr/bin/python3
"""Checks that README.md and the pages under docs/ point only at what exists, so that they do
not rot as the code moves.

    check_doc_links.py PROJECT_DIR

Two kinds of reference are checked:
- every relative Markdown link, [text](path) or [text](path#anchor) or [text](#anchor): the
  file or folder must exist, taken from the page's own folder, and an anchor must be a heading
  of the page it points into;
- every project path named in code, in `code spans` and code blocks alike: a word whose first
  component is one of the project's top-level folders (tools/run-tests, examples/card-update,
  launcher/*.cpp) must exist, taken from the project's folder (a pattern must match something).
  Build output (build/...) and paths outside the project (bin/ of an install) are not checked.

Prints one line per broken reference, "PAGE:LINE: ...", and exits 1 when there is any; a
PROJECT_DIR without a README.md exits 2.
"""

import glob
import os
import re
import sys

# From the link text's end: a link's text may run over lines, its target does not.
LINK = re.compile(r"\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"(`+)(.+?)\1", re.DOTALL)
FENCE = re.compile(r"^\s*(```|~~~)")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")
# Folders of the project that a page may name but that a clean checkout does not hold.
NOT_IN_CHECKOUT = {"build"}


def pages(project):
    found = [os.path.join(project, "README.md")]
    found += sorted(glob.glob(os.path.join(project, "docs", "**", "*.md"), recursive=True))
    return found


def slug(heading):
    """The anchor a Markdown renderer (GitHub's) gives a heading."""
    text = heading.strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def split_lines(text):
    """Each line with its number and whether it is code (a fenced or indented block)."""
    lines = []
    in_fence = False
    previous_blank = True
    in_indented = False
    for number, line in enumerate(text.split("\n"), start=1):
        if FENCE.match(line):
            in_fence = not in_fence
            lines.append((number, line, True))
            previous_blank = False
            continue
        if in_fence:
            lines.append((number, line, True))
            continue
        blank = line.strip() == ""
        indented = line.startswith("    ") or line.startswith("\t")
        # An indented block starts after a blank line, and is not a list item's continuation.
        if indented and (previous_blank or in_indented) and not blank:
            in_indented = True
        elif not blank:
            in_indented = False
        lines.append((number, line, in_indented and not blank))
        previous_blank = blank
    return lines


def anchors_of(path, cache):
    if path not in cache:
        seen = {}
        names = set()
        with open(path, encoding="utf-8") as page:
            for _, line, code in split_lines(page.read()):
                match = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
                if code or not match:
                    continue
                base = slug(match.group(1))
                count = seen.get(base, 0)
                names.add(base if count == 0 else "%s-%d" % (base, count))
                seen[base] = count + 1
        cache[path] = names
    return cache[path]


def project_words(code, top_folders):
    """The words of a piece of code that name a path inside the project."""
    for word in code.split():
        word = word.strip("'\"()[]{},;:.")
        if "/" not in word or word.startswith("/"):
            continue
        first = word.split("/", 1)[0]
        if first in top_folders:
            yield word


def check_link(page, target, project, cache):
    if SCHEME.match(target) or target.startswith("/"):
        return None
    path, _, anchor = target.partition("#")
    resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
    if not os.path.realpath(resolved).startswith(os.path.realpath(project) + os.sep):
        return "link %s leads out of the project" % target
    if not os.path.exists(resolved):
        return "link %s: no such file or folder" % target
    if anchor:
        if not resolved.endswith(".md") or os.path.isdir(resolved):
            return "link %s: an anchor into something that is not a page" % target
        if anchor not in anchors_of(resolved, cache):
            return "link %s: no heading #%s in %s" % (
                target, anchor, os.path.relpath(resolved, project))
    return None


def check_word(word, project):
    full = os.path.join(project, word)
    if any(c in word for c in "*?["):
        return None if glob.glob(full) else "%s matches nothing" % word
    if word.endswith("/"):
        return None if os.path.isdir(full) else "%s: no such folder" % word
    return None if os.path.exists(full) else "%s: no such file or folder" % word


def paragraphs(text):
    """The page as pieces to read: (first line number, text, is code). Code comes a line at a
    time; prose a paragraph at a time, since a code span or a link's text may run over lines."""
    pieces = []
    prose = []
    for number, line, code in split_lines(text) + [(0, "", False)]:
        if prose and (code or line.strip() == ""):
            pieces.append((prose[0][0], "\n".join(l for _, l in prose), False))
            prose = []
        if code:
            pieces.append((number, line, True))
        elif line.strip():
            prose.append((number, line))
    return pieces


def check_page(page, project, top_folders, cache):
    problems = []
    with open(page, encoding="utf-8") as handle:
        text = handle.read()
    where = os.path.relpath(page, project)
    for first, piece, code in paragraphs(text):
        found = []  # (offset in the piece, problem)
        if code:
            found += [(0, check_word(word, project)) for word in project_words(piece, top_folders)]
        else:
            # Links are looked for outside code spans, which are blanked character for
            # character, so that an offset in what is left is one in the piece.
            prose = piece
            for match in CODE_SPAN.finditer(piece):
                inner = match.start(2)
                for word in project_words(match.group(2), top_folders):
                    at = inner + match.group(2).find(word)
                    found.append((at, check_word(word, project)))
                blank = " " * (match.end() - match.start())
                prose = prose[:match.start()] + blank + prose[match.end():]
            found += [(m.start(1), check_link(page, m.group(1), project, cache))
                      for m in LINK.finditer(prose)]
        found.sort(key=lambda item: item[0])
        problems += ["%s:%d: %s" % (where, first + piece.count("\n", 0, at), problem)
                     for at, problem in found if problem]
    return problems


def main(argv):
    if len(argv) != 2 or not os.path.isfile(os.path.join(argv[1], "README.md")):
        print("usage: check_doc_links.py PROJECT_DIR   (a folder with README.md)", file=sys.stderr)
        return 2
    project = os.path.abspath(argv[1])
    top_folders = {
        name for name in os.listdir(project)
        if os.path.isdir(os.path.join(project, name)) and name not in NOT_IN_CHECKOUT
        and name != ".git"
    }
    cache = {}
    problems = []
    checked = pages(project)
    for page in checked:
        problems += check_page(page, project, top_folders, cache)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("doc links: %d pages, every link and named file in place" % len(checked))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
