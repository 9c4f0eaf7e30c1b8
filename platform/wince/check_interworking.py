#!/usr/bin/python3
"""Fails when a linked device program holds a blx instruction.

ARMv4T has no blx: every switch between ARM and Thumb code must be a bx, as in the linker's
ARMv4T veneers (bx pc in front of an ARM branch). The compiler, told -march=armv4t, emits none;
this catches a linker or a piece of assembly that would.

    check_interworking.py OBJDUMP ELF
"""

import re
import subprocess
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    objdump, elf = sys.argv[1:]
    listing = subprocess.run([objdump, "--disassemble", "--no-show-raw-insn", elf], check=True,
                             capture_output=True, text=True).stdout
    found = [line.strip() for line in listing.splitlines() if re.search(r"\tblx\b", line)]
    for line in found:
        print(f"check_interworking: {elf}: blx, which ARMv4T lacks: {line}", file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
