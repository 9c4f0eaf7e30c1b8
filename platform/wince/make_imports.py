#!/usr/bin/python3
"""Writes a device program's COREDLL imports as assembly, from its objects' undefined symbols.

Every symbol the program's objects call or use but do not define must be a COREDLL function the project
knows (platform/coredll.exports); anything else fails the build, naming it. For each import the output
holds its lookup-table entry and IAT slot, and an ARM call stub under the function's own name that
jumps through the IAT slot; once per program, the import directory and the DLL's name.

Three bindings, each the one a real Windows CE toolchain writes:
  ordinal  by ordinal from "COREDLL.dll", as Microsoft's import libraries bind COREDLL: the
           directory and lookup table in read-only .rdata, the IAT at the head of writable .data.
           What the device build ships.
  name     by name (hint/name entries) from "COREDLL.dll", in the same places.
  cegcc    by name from "COREDLL", with all of the import data in one writable .idata section,
           as CeGCC lays a program out.

--imports-list FILE also writes, for the unit's integrator, each import with its ordinal, the OS
image component it needs and what the unit's loader prints when the image lacks it.
"""

import argparse
import subprocess
import sys

# Where the linker script places each part (platform/wince/link.ld).
READ_ONLY = ".pe.imports"
IAT = ".pe.iat"
IDATA = ".pe.idata"

BINDINGS = {
    # binding: (DLL name, section of the directory and lookup table, of the IAT, of the names)
    "ordinal": ("COREDLL.dll", READ_ONLY, IAT, READ_ONLY),
    "name": ("COREDLL.dll", READ_ONLY, IAT, READ_ONLY),
    "cegcc": ("COREDLL", IDATA, IDATA, IDATA),
}

IMPORT_BY_ORDINAL = 0x80000000
# The name COREDLL has among the unit's loaded modules: the loader keeps module names in lower case.
LOADED_MODULE_NAME = "coredll.dll"


class TableError(Exception):
    pass


def read_exports(path):
    """{name: (ordinal, component)} from the export table; a malformed line is a TableError naming
    the file and line."""
    exports, ordinals = {}, {}
    with open(path, encoding="ascii") as listing:
        for number, line in enumerate(listing, 1):
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            where = f"{path}:{number}"
            if len(fields) != 3:
                raise TableError(f"{where}: expected name, ordinal and component, found "
                                 f"{len(fields)} fields")
            name, ordinal_text, component = fields
            if not ordinal_text.isdigit() or not 1 <= int(ordinal_text) <= 0xFFFF:
                raise TableError(f"{where}: ordinal {ordinal_text!r} of {name} is not a number "
                                 "from 1 to 65535")
            ordinal = int(ordinal_text)
            if name in exports:
                raise TableError(f"{where}: {name} is listed twice")
            if ordinal in ordinals:
                raise TableError(f"{where}: ordinal {ordinal} of {name} is also "
                                 f"{ordinals[ordinal]}'s")
            exports[name] = (ordinal, component)
            ordinals[ordinal] = name
    return exports


def run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def undefined_symbols(nm, objects):
    """Symbols the objects declare and none of them defines (nm -u alone would count calls
    between the objects)."""
    defined, declared = set(), set()
    for line in run([nm, "--format=posix", "--no-sort"] + objects).splitlines():
        fields = line.split()
        # "name type [value size]"; file and archive member names end in a colon.
        if len(fields) < 2 or fields[0].endswith(":"):
            continue
        name, kind = fields[0], fields[1]
        if kind in ("U", "w", "v"):
            declared.add(name)
        else:
            defined.add(name)
    return declared - defined


def referenced_symbols(readelf, objects):
    """Symbols that some relocation uses. A relocatable link with --gc-sections drops the code
    that nothing calls but keeps the symbols it named: only relocations tell what is called."""
    referenced = set()
    for line in run([readelf, "--relocs", "--wide"] + objects).splitlines():
        # "Offset Info Type Sym.Value Sym.Name"; relocations without a symbol stop at the type.
        fields = line.split()
        if len(fields) >= 5 and fields[2].startswith("R_"):
            referenced.add(fields[4])
    return referenced


def section(name):
    flags = '"a"' if name == READ_ONLY else '"aw"'
    return [f"    .section {name}, {flags}, %progbits", "    .balign 4"]


def lookup_entry(name, exports, binding):
    if binding == "ordinal":
        ordinal = exports[name][0]
        return f"0x{IMPORT_BY_ORDINAL | ordinal:08x}                    // {name}, ordinal {ordinal}"
    return f".Lname_{name} - PE_IMAGE_BASE"


def assembly(imports, exports, program, binding):
    dll, directory_section, iat_section, names_section = BINDINGS[binding]
    if not imports:
        return empty_assembly(program)
    how = "by ordinal" if binding == "ordinal" else "by name"
    lines = [
        f"// {program}'s imports from {dll}, {how}, generated by platform/wince/make_imports.py",
        "// from the undefined symbols of its objects.",
        '#include "platform/wince/pe_layout.h"',
        "",
        *section(directory_section),
        "    .globl __pe_import_directory",
        "__pe_import_directory:",
        "    .word .Llookup_table - PE_IMAGE_BASE   // OriginalFirstThunk",
        "    .word 0                                // TimeDateStamp: not bound",
        "    .word 0                                // ForwarderChain",
        "    .word .Ldll_name - PE_IMAGE_BASE       // Name",
        "    .word __pe_iat - PE_IMAGE_BASE         // FirstThunk",
        "    .space 20                              // the closing empty entry",
        "    .globl __pe_import_directory_size",
        "    .set __pe_import_directory_size, . - __pe_import_directory",
        "",
        "// The loader reads the functions' names or ordinals from here alone.",
        ".Llookup_table:",
    ]
    lines += [f"    .word {lookup_entry(name, exports, binding)}" for name in imports]
    lines += ["    .word 0", ""]
    if iat_section != directory_section:
        lines += section(iat_section)
    lines += [
        "// The loader overwrites each slot with the function's address, in a section it may",
        "// write: a unit that pages the program out and back in reads read-only sections from",
        "// the file again, without binding them again. On disk a slot holds its lookup entry.",
        "    .globl __pe_iat",
        "__pe_iat:",
    ]
    for name in imports:
        lines += [f"__imp_{name}:", f"    .word {lookup_entry(name, exports, binding)}"]
    lines += [
        "    .word 0",
        "    .globl __pe_iat_size",
        "    .set __pe_iat_size, . - __pe_iat",
        "",
    ]
    if names_section != iat_section:
        lines += section(names_section)
    if binding != "ordinal":
        lines.append("// Hint 0: the loader looks each name up.")
        for name in imports:
            lines += ["    .balign 2", f".Lname_{name}:", "    .short 0", f'    .asciz "{name}"']
    lines += ["    .balign 2", ".Ldll_name:", f'    .asciz "{dll}"', ""]
    lines += [
        "// ARM code, so that the linker puts its interworking veneer in front of it for a Thumb",
        "// caller; bx returns to the caller's own state when the function returns with bx lr.",
    ]
    for name in imports:
        lines += [
            "",
            f"    .section .text.kelbrun_import.{name}, \"ax\", %progbits",
            "    .arm",
            "    .balign 4",
            f"    .globl {name}",
            f"    .type {name}, %function",
            f"{name}:",
            "    ldr ip, 1f",
            "    ldr ip, [ip]",
            "    bx ip",
            f"1:  .word __imp_{name}",
            f"    .size {name}, . - {name}",
        ]
    lines += ["", "    .section .note.GNU-stack, \"\", %progbits", ""]
    return "\n".join(lines)


def empty_assembly(program):
    """A program that imports nothing still has an import directory: its closing empty entry
    alone. It keeps .rdata from being empty, and a loader reads it as no DLL at all."""
    return "\n".join([
        f"// {program} imports nothing; generated by platform/wince/make_imports.py.",
        '#include "platform/wince/pe_layout.h"',
        "",
        *section(READ_ONLY),
        "    .globl __pe_import_directory",
        "__pe_import_directory:",
        "    .space 20",
        "    .globl __pe_import_directory_size",
        "    .set __pe_import_directory_size, . - __pe_import_directory",
        "// No IAT: its directory entry is zeros.",
        "    .globl __pe_iat",
        "    .set __pe_iat, PE_IMAGE_BASE",
        "    .globl __pe_iat_size",
        "    .set __pe_iat_size, 0",
        "",
        "    .section .note.GNU-stack, \"\", %progbits",
        "",
    ])


def imports_list(imports, exports, program):
    """The integrator's list: what the OS image must hold for the program to start at all."""
    lines = [
        f"{program} imports these functions from COREDLL by ordinal. Each is in an OS image only",
        "with the image component beside it (\"always\": in every image). A unit whose image",
        "lacks one does not start the program: its loader stops at the first one missing, in",
        "this order, and prints the two lines under it on the debug output.",
        "",
        f"{'function':<20} {'ordinal':>7}  component",
    ]
    for name in imports:
        ordinal, component = exports[name]
        lines += [
            f"{name:<20} {ordinal:>7}  {component}",
            f"    ERROR: function @ Ordinal {ordinal} missing in Module '{LOADED_MODULE_NAME}'",
            "    !!! Please Check your SYSGEN variable !!!",
        ]
    return "\n".join(lines) + "\n"


def write(path, text):
    with open(path, "w", encoding="ascii") as output:
        output.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--nm", default="arm-linux-gnueabi-nm")
    parser.add_argument("--readelf", default="arm-linux-gnueabi-readelf")
    parser.add_argument("--exports", required=True, help="the COREDLL functions the project knows")
    parser.add_argument("--program", required=True, help="the program's name, for messages")
    parser.add_argument("--binding", choices=sorted(BINDINGS), default="ordinal")
    parser.add_argument("--output", required=True)
    parser.add_argument("--imports-list", help="where to write the integrator's imports list")
    parser.add_argument("objects", nargs="+")
    args = parser.parse_args()

    try:
        exports = read_exports(args.exports)
    except (OSError, UnicodeDecodeError, TableError) as error:
        print(f"make_imports: {error}", file=sys.stderr)
        return 2
    needed = (undefined_symbols(args.nm, args.objects)
              & referenced_symbols(args.readelf, args.objects))
    unknown = sorted(needed - exports.keys())
    if unknown:
        for name in unknown:
            print(f"make_imports: {args.program} needs {name}, which is not a COREDLL function "
                  f"listed in {args.exports}: the device build links no other library "
                  "(a libgcc helper or C library routine must not be needed)", file=sys.stderr)
        return 1
    imports = sorted(needed)
    write(args.output, assembly(imports, exports, args.program, args.binding))
    if args.imports_list:
        write(args.imports_list, imports_list(imports, exports, args.program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
