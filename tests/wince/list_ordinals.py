#!/usr/bin/python3
"""Prints the COREDLL ordinals a device executable imports, one a line, in its lookup table's
order, read with pefile; exits 1 for an import by name or a file pefile cannot read.

    list_ordinals.py EXE
"""

import sys

import pefile


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        pe = pefile.PE(sys.argv[1])
    except (OSError, pefile.PEFormatError) as error:
        print(f"list_ordinals: {sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    status = 0
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        for symbol in entry.imports:
            if symbol.import_by_ordinal:
                print(symbol.ordinal)
            else:
                print(f"list_ordinals: {sys.argv[1]}: imports {symbol.name!r} by name",
                      file=sys.stderr)
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
